#!/usr/bin/env bash
# Starts the navigator on a copy of data/ as its program folder, with the
# sample map library open.
#
# usage: tools/run-navigator.sh BUILD_DIR RUN_HOME [tessaro arguments...]
#
# data/ is copied into RUN_HOME without overwriting files that are already
# there (the user's settings and records survive). When RUN_HOME has no
# data0/CurrentSetting.dat, or its library folder holds no MapFileData1.dat,
# the settings are pointed at RUN_HOME/MapPicSample, centred on the sample
# area at scale level 16. A missing data0/GPSSetting.dat gets zone 9 (the
# sample area's zone) and port 1 at 4800 baud (speed 2 of the list).
set -euo pipefail
build=${1:-build}
home=${2:-$build/run-home}
shift $(( $# >= 2 ? 2 : $# ))

repo=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$home"
home=$(cd "$home" && pwd)
cp -R -n "$repo/data/." "$home/"
mkdir -p "$home/data0"

# Writes lines with CR LF; a non-ASCII text goes into a UTF-8 file with a
# byte-order mark, which the navigator's readers accept.
write_lines() {
  local file=$1; shift
  local tmp="$file.tmp.$$"
  : > "$tmp"
  if printf '%s' "$*" | LC_ALL=C grep -q '[^ -~]'; then printf '\xef\xbb\xbf' > "$tmp"; fi
  for line in "$@"; do printf '%s\r\n' "$line" >> "$tmp"; done
  mv -f "$tmp" "$file"
}

sample="$home/MapPicSample"
setting="$home/data0/CurrentSetting.dat"
# Centre of the sample area (35.70 N 139.76 E) in zone 9 [m].
centre="-6636.3,-33281.1"
if [ -f "$setting" ]; then
  folder=$(head -n 1 "$setting" | tr -d '\r' | sed 's/^\xef\xbb\xbf//')
  if [ ! -f "$folder/MapFileData1.dat" ]; then
    mapfile -t rest < <(tail -n +2 "$setting" | tr -d '\r')
    [ ${#rest[@]} -ge 3 ] || rest=(" 16 " "$centre" "$centre")
    write_lines "$setting" "$sample" "${rest[@]}"
  fi
else
  write_lines "$setting" "$sample" " 16 " "$centre" "$centre"
fi
gps="$home/data0/GPSSetting.dat"
[ -f "$gps" ] || write_lines "$gps" " 9 " "36-00" "139-50" " 1 " " 2 " "4800,n,8,1"

exec "$build/bin/tessaro" --home "$home" "$@"
