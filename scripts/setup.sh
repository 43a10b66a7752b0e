#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail

# Qt 5 builds the tools; their widgets need a font when tests run them offscreen.
packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev iproute2 util-linux
          qtbase5-dev fonts-dejavu-core)
missing=()
# libpcap sends and captures the raw frames of the Ethernet interface configurator.
packages+=(libpcap-dev)
# Xvfb: a private X server for the widget tests that move the real pointer.
packages+=(xvfb)
# xcb: the test that clicks as a user does, through that server.
packages+=(libxcb1-dev)
# Xlib: the tests' window-manager helper, which finds windows by title and closes them.
packages+=(libx11-dev)
# clang builds the libFuzzer targets under tests/fuzz; its fuzzer run-time is only a recommended package.
packages+=(clang libclang-rt-14-dev)
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q "${missing[@]}"
fi
