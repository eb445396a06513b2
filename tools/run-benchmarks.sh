#!/usr/bin/env bash
# Runs every benchmark executable of a build (bench/…) one after the other.
# usage: tools/run-benchmarks.sh BUILD_DIR [benchmark-name-filter]
set -euo pipefail
build=${1:-build}
filter=${2:-}
shopt -s nullglob
found=0
for b in "$build"/bin/*_bench; do
  name=$(basename "$b")
  if [ -n "$filter" ] && [[ "$name" != *"$filter"* ]]; then continue; fi
  found=1
  echo "=== $name"
  "$b"
done
if [ $found -eq 0 ]; then echo "run-benchmarks: no benchmark executables (*_bench) in $build/bin" >&2; fi
