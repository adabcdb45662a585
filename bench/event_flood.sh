#!/usr/bin/env bash
# The shell under a flood of data-model change events from another client: its peak resident
# memory before and after, and whether it still answers a command.
#
#   bench/event_flood.sh [EVENTS]
#
# Sends EVENTS (default 200000) change events of group 4 ("Add"/"Delete" of Device.Hosts.Host,
# with instance numbers spread over 1..EVENTS) through veld-sim, which relays them to the idle
# shell; then types `ls Device.Hosts.Host` and reports the shell's VmHWM from /proc. Needs a
# build in build/ and socat.
set -euo pipefail
cd "$(dirname "$0")/.."
events=${1:-200000}
velc=build/bin/velc
sim=build/bin/veld-sim
dir=$(mktemp -d "${TMPDIR:-/tmp}/velc-flood-XXXXXX")
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT
sock=$dir/veld.sock
# Guests may read everything: no login in the way of the flood.
"$sim" --socket "$sock" --access models/open-access.json --hosts 100 >"$dir/sim.out" 2>&1 &
pids+=($!)
for _ in $(seq 200); do grep -q ready "$dir/sim.out" 2>/dev/null && break; sleep 0.05; done

mkfifo "$dir/in"
VELC_HISTFILE=$dir/hist "$velc" -u "$sock" <"$dir/in" >"$dir/out" 2>&1 &
shell=$!
pids+=($shell)
exec 3>"$dir/in"
printf 'ls Device.Hosts.Host\n' >&3
sleep 1
hwm() { awk '/VmHWM/ {print $2}' "/proc/$shell/status"; }
before=$(hwm)

awk -v n="$events" 'BEGIN {
  for (i = 1; i <= n; i++) {
    action = i % 2 ? "Add" : "Delete"
    path = i % 2 ? "Device.Hosts.Host." : "Device.Hosts.Host." i "."
    printf "{\"jsonrpc\":\"2.0\",\"method\":\"Event\",\"params\":{\"EventId\":4,\"Data\":{\"Action\":\"%s\",\"Path\":\"%s\",\"InstanceNumber\":%d}}}\n", action, path, i
  }
}' | socat -t 5 - "UNIX-CONNECT:$sock" >/dev/null
sleep 2
after=$(hwm)

: >"$dir/out"
printf 'ls Device.Hosts.Host\n' >&3
for _ in $(seq 100); do grep -q 'Host.1\.' "$dir/out" && break; sleep 0.1; done
answered=no
grep -q 'Host.1\.' "$dir/out" && answered=yes
exec 3>&-
echo "events: $events; shell peak RSS: ${before} KiB before, ${after} KiB after; answers ls afterwards: $answered"
