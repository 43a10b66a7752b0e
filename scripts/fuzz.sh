#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a bounded time each, all at
# once, starting from its seed corpus in tests/fuzz/corpus/. Fails when any
# target reports a crash, a leak, a sanitizer error or a slow input.
# Usage: fuzz.sh BUILD_DIR [SECONDS_EACH]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
seconds=${2:-30}
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

targets=()
for seeds in "$top"/tests/fuzz/corpus/*/; do
  targets+=("$(basename "$seeds")")
done
for target in "${targets[@]}"; do
  # New inputs go to a scratch corpus; the seeds in the tree stay as they are.
  mkdir -p "$work/$target/corpus"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=1200 \
    -artifact_prefix="$work/$target/" -print_final_stats=1 \
    "$work/$target/corpus" "$top/tests/fuzz/corpus/$target" >"$work/$target/log" 2>&1 &
  pids+=($!)
done

status=0
for i in "${!targets[@]}"; do
  target=${targets[$i]}
  if wait "${pids[$i]}"; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$target/log")
    echo "$target: ${runs:-?} inputs in ${seconds} s, nothing found"
  else
    status=1
    echo "$target: FAILED" >&2
    tail -n 60 "$work/$target/log" >&2
    for artifact in "$work/$target"/crash-* "$work/$target"/leak-* "$work/$target"/timeout-* "$work/$target"/oom-*; do
      [ -e "$artifact" ] && { echo "input:" >&2; od -A d -t x1 "$artifact" | head -n 20 >&2; }
    done
  fi
done
pids=()
exit $status
