#!/bin/sh
# What the screenshot of the terminal window shows: colours, line drawing
# and Japanese text, in CP932 (run as: sh terminal_demo.sh | iconv -t CP932).
e=$(printf '\033')
printf '%s[1;37;44m Tessaro 通信コントロール: ANSI 端末 %s[0m\n' "$e" "$e"
printf '┌──────┬──────┬──────┐\n'
printf '│ %s[31;1m赤 red%s[0m     │ %s[32;1m緑 green%s[0m   │ %s[34;1m青 blue%s[0m    │\n' "$e" "$e" "$e" "$e" "$e" "$e"
printf '├──────┼──────┼──────┤\n'
printf '│ %s[33m黄 yellow%s[0m  │ %s[35;1m紫 magenta%s[0m │ %s[36m水 cyan%s[0m    │\n' "$e" "$e" "$e" "$e" "$e" "$e"
printf '└──────┴──────┴──────┘\n'
for c in 30 31 32 33 34 35 36 37; do printf '%s[%dm■%s[1m■%s[0m' "$e" "$c" "$e" "$e"; done
printf '  %s[7m reverse %s[0m  %s[30;47m 黒 on 白 %s[0m\n' "$e" "$e" "$e" "$e"
