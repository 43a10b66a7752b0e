#!/usr/bin/env bash
# Builds everything twice (plain, and with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every test in both builds.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"

jobs=$(nproc)
status=0
for variant in release asan; do
  dir="$top/build/$variant"
  flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
  [ "$variant" = asan ] && flags=(-DCMAKE_BUILD_TYPE=Debug -DVX_SANITIZE=ON)
  cmake -S "$top" -B "$dir" -G Ninja "${flags[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "== tests ($variant)"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 300 || status=1
done
exit $status
