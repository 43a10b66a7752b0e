#!/usr/bin/env bash
# Builds the libraries, starts a simulated three-channel controller system of
# each generation on loopback and runs the example program against each:
# the first generation over TCP, the second through the FTDI driver double's
# bridge to the simulator's TCP port, as a USB adapter would reach it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"

dir="$top/build/release"
echo "Building the libraries, the simulator and the demo (build/release) ..."
log="$dir.log"
mkdir -p "$dir"
if ! { cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
       cmake --build "$dir" -j "$(nproc)" --target vxsim qmx_demo VeltraxCTL vxftdi_driver vxftdi_chipid; } >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  echo "the build failed; the whole log is in $log" >&2
  exit 1
fi

# Starts vxsim with the given options; it ends with this script. Sets
# `locator` to what it prints once it listens.
sims=()
trap 'for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done' EXIT
startSimulator() {
  local out
  out=$(mktemp -u)
  mkfifo "$out"
  "$dir/bin/vxsim" "$@" >"$out" </dev/null &
  sims+=($!)
  locator=""
  read -r -t 10 locator <"$out" || true
  rm -f "$out"
  case "$locator" in
    network:*) ;;
    *) echo "the simulator did not report its address" >&2; exit 1 ;;
  esac
}

echo
echo "=== First generation ==="
startSimulator --channels 3
echo "Simulated controller system listening at $locator"
"$dir/bin/qmx_demo" "$locator"

echo
echo "=== Second generation ==="
startSimulator --gen2 --channels 3
# QMXControl loads libVeltraxCTL.so at run time for it. A "network:" locator
# would first be tried as a first-generation system, whose greeting is
# waited for 2 s; the USB adapter of the driver double carries the bytes to
# the simulator's port instead, and is found by its serial number. The
# double stands in for the FTDI driver, found on the library path as the
# real one would be.
serial=QMX2-DEMO1
echo "Simulated second-generation controller at $locator, reached as USB adapter $serial"
LD_LIBRARY_PATH="$dir/bin${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
  VXFTDI_DEVICES="sn=$serial;desc=Veltrax QMX2;tcp=${locator#network:}" "$dir/bin/qmx_demo" "usb:sn:$serial"
