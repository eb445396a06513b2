#!/usr/bin/env bash
# Builds the fuzz targets with clang, AddressSanitizer and UBSan and runs
# each for FUZZ_SECONDS (default 60) on its corpus, one after the other.
# New inputs go to BUILD/fuzz-work/<target>/ (the corpus in fuzz/corpus/ is
# only read); an input that breaks a target is saved as
# BUILD/fuzz-crashes/<target>-crash-... and ends the run with status 1:
# copy it into fuzz/corpus/<target>/ so that fuzz_corpus_tests keeps it.
# usage: tools/run-fuzz.sh [BUILD] [TARGET...]      (BUILD: build-fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build-fuzz}
shift || true
SECONDS_EACH=${FUZZ_SECONDS:-60}
JOBS=${JOBS:-$(nproc)}

CC=clang CXX=clang++ cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
  -DTESSARO_FUZZ=ON -DTESSARO_SANITIZE=ON -DTESSARO_BENCH=OFF \
  -DCMAKE_AR=/usr/bin/ar -DCMAKE_RANLIB=/usr/bin/ranlib -DCMAKE_LINKER=/usr/bin/ld >/dev/null
if ! cmake --build "$BUILD" --target fuzz_targets -j "$JOBS" >"$BUILD/fuzz-build.log" 2>&1; then
  tail -40 "$BUILD/fuzz-build.log"
  exit 1
fi

if [ $# -gt 0 ]; then targets=("$@"); else mapfile -t targets < "$BUILD/fuzz/fuzz_targets.txt"; fi
mkdir -p "$BUILD/fuzz-crashes"
# The targets that read files write them to a scratch folder: in memory
# where there is room for it.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-intercept_tls_get_addr=0}
export LSAN_OPTIONS=suppressions=$PWD/tools/lsan.supp
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=0
printf '%-18s %12s %10s %8s %8s  %s\n' target executions exec/s cov ft result
for t in "${targets[@]}"; do
  [ -n "$t" ] || continue
  work="$BUILD/fuzz-work/$t"
  mkdir -p "$work"
  dict=()
  [ -f "fuzz/dict/$t.dict" ] && dict=(-dict="fuzz/dict/$t.dict")
  log="$BUILD/fuzz-work/$t.log"
  status=0
  "$BUILD/bin/fuzz_$t" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$BUILD/fuzz-crashes/$t-" "${dict[@]}" "$work" "fuzz/corpus/$t" >"$log" 2>&1 || status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -oE 'cov: [0-9]+' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -oE 'ft: [0-9]+' "$log" | tail -1 | cut -d' ' -f2)
  if [ "$status" -eq 0 ]; then result=ok; else result="FAILED (status $status, see $log)"; failed=1; fi
  printf '%-18s %12s %10s %8s %8s  %s\n' "$t" "${execs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" "$result"
  if [ "$status" -ne 0 ]; then grep -E 'ERROR|SUMMARY|fuzz target:|Test unit written' "$log" | head -5; fi
done
exit $failed
