#!/usr/bin/env bash
# The shell fed one long line through a pipe: its wall time and peak memory.
#
#   bench/long_line.sh [BYTES]
#
# Pipes "pwd #" and BYTES (default 1000000) more bytes, then "pwd", into `velc` against a
# veld-sim, and reports what GNU time says. Needs a build in build/ and /usr/bin/time.
set -euo pipefail
cd "$(dirname "$0")/.."
bytes=${1:-1000000}
dir=$(mktemp -d "${TMPDIR:-/tmp}/velc-long-line-XXXXXX")
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT
build/bin/veld-sim --socket "$dir/veld.sock" >"$dir/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 200); do grep -q ready "$dir/sim.out" 2>/dev/null && break; sleep 0.05; done
{ printf 'pwd #'; head -c "$bytes" /dev/zero | tr '\0' x; printf '\npwd\n'; } >"$dir/input"
VELC_HISTFILE=$dir/history /usr/bin/time -f "%e s, %M kB peak" \
  build/bin/velc -u "$dir/veld.sock" <"$dir/input" >"$dir/out" 2>"$dir/time"
grep -c '^:$' "$dir/out" | sed 's/^/answered lines: /'
tail -1 "$dir/time"
