#!/usr/bin/env bash
# Installs a built tree into a temporary prefix, builds examples/ against it
# once with pkg-config and once with find_package(Veltrax), runs both demos
# against the simulator, and checks that the installed libraries load the
# FTDI driver and the second-generation library from beside themselves.
# Usage: check-install.sh BUILD_DIR
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
work=$(mktemp -d)
sim=""
cleanup() {
  if [ -n "$sim" ]; then kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
# Nothing may come from the build tree but what is installed.
unset LD_LIBRARY_PATH

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
libdir="$prefix/lib"
for name in VeltraxIO QMXControl VeltraxCTL; do
  soname=$(readelf -d "$libdir/lib$name.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  [ "$soname" = "lib$name.so.1" ] || { echo "lib$name.so has soname '$soname'" >&2; exit 1; }
done

echo "-- examples built with pkg-config"
export PKG_CONFIG_PATH="$libdir/pkgconfig"
mkdir -p "$work/pkg-config"
for demo in qmx_demo qmx_systems; do
  # shellcheck disable=SC2046  # pkg-config gives separate words on purpose
  cc -std=c99 -pedantic -Wall -Wextra -Werror -o "$work/pkg-config/$demo" "$top/examples/$demo.c" \
     $(pkg-config --cflags --libs qmxcontrol) -Wl,-rpath,"$(pkg-config --variable=libdir qmxcontrol)"
done

echo "-- examples built with find_package(Veltrax)"
cmake -S "$top/examples" -B "$work/find-package" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
      -DCMAKE_C_FLAGS="-Wall -Wextra -Werror" >/dev/null
cmake --build "$work/find-package" >/dev/null

# The simulator prints its locator once it listens.
coproc SIM { exec "$build/bin/vxsim" --channels 3; }
sim=$SIM_PID
locator=""
read -r -t 10 locator <&"${SIM[0]}" || true
case "$locator" in
  network:*) ;;
  *) echo "the simulator did not report its address" >&2; exit 1 ;;
esac
for variant in pkg-config find-package; do
  echo "-- $variant qmx_demo against $locator"
  "$work/$variant/qmx_demo" "$locator" >"$work/$variant.out" || { cat "$work/$variant.out"; exit 1; }
  grep "^Arrived" "$work/$variant.out" || { cat "$work/$variant.out"; echo "the demo did not arrive" >&2; exit 1; }
done

echo "-- run-time loading from the prefix"
# The driver double stands in for the FTDI driver, installed beside the libraries.
cp "$build/bin/libftd2xx.so" "$build/bin/libFTChipID.so" "$libdir/"
status=0
LD_DEBUG=files "$work/find-package/qmx_systems" >"$work/systems.out" 2>"$work/loads.out" || status=$?
# 0 or a status of the search; a signal is a failure.
[ "$status" -le 1 ] || { cat "$work/systems.out"; echo "qmx_systems ended with $status" >&2; exit 1; }
for library in libftd2xx.so libFTChipID.so libVeltraxCTL.so; do
  grep -q "calling init: $libdir/$library\$" "$work/loads.out" ||
    { echo "$library was not loaded from $libdir" >&2; grep "calling init" "$work/loads.out" >&2; exit 1; }
done
echo "install check passed"
