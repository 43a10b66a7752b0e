#!/usr/bin/env bash
# Runs the Ethernet interface configurator against two simulated controllers
# in a private network (tests/support/netns/netns-run), so that none of its
# raw frames reaches a real network. Choose vxtest0 at the interface prompt.
#
#   scripts/netconfig-sim.sh [BINDIR]     BINDIR: build/release/bin by default
#
# Needs user namespaces, or root where they are not allowed. Exit status:
# the configurator's; 77 when no private network can be made.
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$top/build/release/bin}
for program in QMXNetworkInterfaceConfig vxsim-ethernet; do
  [ -x "$bin/$program" ] || { echo "netconfig-sim: $bin/$program is not built" >&2; exit 2; }
done
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
# The controllers say "ready" on this pipe once they listen; the configurator
# starts after that, and the rest of what they print is dropped.
ready="$work/ready"
mkfifo "$ready" || exit 1
"$top/tests/support/netns/netns-run" \
  --peer "exec '$bin/vxsim-ethernet' --iface vxpeer0 --controllers 2 >'$ready'" \
  -- bash -c 'exec 3<"$1"; read -r _ <&3 || { echo "netconfig-sim: the simulated controllers did not start" >&2; exit 1; }
              cat <&3 >/dev/null &
              exec "$2"' netconfig-sim "$ready" "$bin/QMXNetworkInterfaceConfig"
