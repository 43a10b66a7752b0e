#!/usr/bin/env bash
# Builds everything and runs every test three times: a plain build, one with
# AddressSanitizer and UndefinedBehaviorSanitizer, and one with
# ThreadSanitizer; then installs the plain build into a temporary prefix and
# checks it, and builds the libFuzzer targets with clang and runs each for
# VX_FUZZ_SECONDS (30). Exits non-zero when any build or test fails.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"

jobs=$(nproc)
# The soaks draw their faults from a seed; CI runs a fixed one so that a
# failure can be run again as it was. By hand any seed can be given.
export VX_SOAK_SEED=${VX_SOAK_SEED:-1}
status=0
for variant in release asan tsan; do
  dir="$top/build/$variant"
  case $variant in
    release) flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
    asan) flags=(-DCMAKE_BUILD_TYPE=Debug -DVX_SANITIZE=ON) ;;
    tsan) flags=(-DCMAKE_BUILD_TYPE=Debug -DVX_SANITIZE_THREAD=ON) ;;
  esac
  echo "== build ($variant)"
  cmake -S "$top" -B "$dir" -G Ninja "${flags[@]}" >/dev/null
  if ! cmake --build "$dir" -j "$jobs"; then
    status=1
    continue
  fi
  echo "== tests ($variant)"
  # The paced serial rows at 9600 and 2400 baud take up to 30 s each; one
  # build runs them.
  slow=0
  [ "$variant" = release ] && slow=1
  VX_SLOW_TESTS=$slow \
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 300 || status=1
  if [ "$variant" = release ]; then
    echo "== install check ($variant)"
    "$top/scripts/check-install.sh" "$dir" || status=1
  fi
done

echo "== fuzz (clang, AddressSanitizer and UndefinedBehaviorSanitizer)"
dir="$top/build/fuzz"
if CC=clang CXX=clang++ cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
       -DVX_SANITIZE=ON -DVX_FUZZ=ON >/dev/null &&
   cmake --build "$dir" -j "$jobs" --target vx_fuzz_targets; then
  "$top/scripts/fuzz.sh" "$dir" "${VX_FUZZ_SECONDS:-30}" || status=1
else
  status=1
fi
exit $status
