#!/usr/bin/env bash
# Builds the libraries, starts a simulated three-channel controller system on
# loopback and runs the example program against it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"

dir="$top/build/release"
echo "Building the libraries, the simulator and the demo (build/release) ..."
log="$dir.log"
mkdir -p "$dir"
if ! { cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
       cmake --build "$dir" -j "$(nproc)" --target vxsim qmx_demo; } >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  echo "the build failed; the whole log is in $log" >&2
  exit 1
fi

# The simulator prints its locator once it listens; it ends with this script.
coproc SIM { exec "$dir/bin/vxsim" --channels 3; }
sim=$SIM_PID
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null' EXIT
locator=""
read -r -t 10 locator <&"${SIM[0]}" || true
case "$locator" in
  network:*) ;;
  *) echo "the simulator did not report its address" >&2; exit 1 ;;
esac

echo "Simulated controller system listening at $locator"
"$dir/bin/qmx_demo" "$locator"
