#!/usr/bin/env bash
# run-fuzzer.sh FUZZER SEEDS WORK SECONDS [libFuzzer flags...]
# Runs one fuzz target for SECONDS over the seed corpus SEEDS (read-only: new
# inputs go to WORK/corpus, a failing input to WORK/artifacts), then prints
# one summary line. Exits non-zero when the target failed.
set -uo pipefail
fuzzer=$1 seeds=$2 work=$3 seconds=$4
shift 4
name=$(basename "$fuzzer")
rm -rf "$work"
mkdir -p "$work/corpus" "$work/artifacts" "$work/tmp"
[ -d "$seeds" ] || { echo "$name: no seed corpus at $seeds"; exit 1; }
export TMPDIR="$work/tmp"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export QT_QPA_PLATFORM=offscreen
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/" "$@" "$work/corpus" "$seeds" >"$work/log" 2>&1
rc=$?
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)
seedcount=$(find "$seeds" -type f | wc -l)
found=$(find "$work/corpus" -type f | wc -l)
if [ "$rc" -eq 0 ]; then
  echo "$name: ${runs:-?} executions in ${seconds} s, ${seedcount} seeds, ${found} new inputs, no failure" | tee "$work/summary"
else
  tail -n 60 "$work/log"
  echo "$name: FAILED (exit $rc) after ${runs:-?} executions; failing input in $work/artifacts/:" | tee "$work/summary"
  ls -1 "$work/artifacts" | tee -a "$work/summary"
fi
exit "$rc"
