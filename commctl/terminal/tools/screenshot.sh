#!/bin/bash
# Takes docs/terminal.png: `tolvexctl terminal` (ANSI) under Xvfb, talking
# to a shell on a pseudo-terminal that prints colours and line drawing.
# Usage: commctl/terminal/tools/screenshot.sh [BUILD_DIR] [OUTPUT]
set -euo pipefail
root=$(cd "$(dirname "$0")/../../.." && pwd)
build=${1:-$root/build}
out=${2:-$root/docs/terminal.png}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TOLVEXCOMM_CONFIG_DIR=$work
python3 "$root/commctl/terminal/tools/pty_shell.py" --device-file "$work/dev" --term ansi --delay 1.5 --seconds 12 \
  --type "cd $root/commctl/terminal/tools; sh terminal_demo.sh | iconv -t CP932; ls --color=always -F $root/commctl\r" \
  > /dev/null &
bridge=$!
for _ in $(seq 50); do [ -s "$work/dev" ] && break; sleep 0.1; done
TOLVEXCOMM_COM9=$(cat "$work/dev")
export TOLVEXCOMM_COM9
xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bin/tolvexctl" --port 9 terminal --emulation ansi \
  --snapshot "$out" --quit-after 5000
kill "$bridge" 2>/dev/null || true
echo "wrote $out"
