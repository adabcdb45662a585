#!/usr/bin/env bash
# Compares velc with the tools a user would pick instead (socat to talk to the socket, jq to
# print), on the whole host table of veld-sim --hosts N (default 5000).
#
#   bench/compare_tools.sh [HOSTS] [RUNS]
#
# For each case it prints the median wall time over RUNS runs (default 5) and the largest peak
# resident memory, as measured by GNU time. Needs a build in build/ (scripts/build) and the
# packages socat, jq and time.
set -euo pipefail
cd "$(dirname "$0")/.."
hosts=${1:-5000}
runs=${2:-5}
velc=build/bin/velc
sim=build/bin/veld-sim
for tool in socat jq /usr/bin/time "$velc" "$sim"; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

dir=$(mktemp -d "${TMPDIR:-/tmp}/velc-bench-XXXXXX")
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
sock=$dir/veld.sock
# Guests may read everything: the figures are of the tools, not of logging in.
"$sim" --socket "$sock" --access models/open-access.json --hosts "$hosts" --request-log "$dir/requests.log" >"$dir/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 200); do grep -q ready "$dir/sim.out" 2>/dev/null && break; sleep 0.05; done

request='{"jsonrpc":"2.0","id":1,"method":"GetParameterValues","params":{"ParameterNames":["Device.Hosts."]}}'
printf '%s\n' "$request" >"$dir/request.json"

# measure NAME COMMAND...: runs the command RUNS times with its output thrown away.
measure() {
  local name=$1
  shift
  local times=() peak=0
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%e %M" -o "$dir/time" "$@" >/dev/null 2>"$dir/err" || {
      echo "$name failed:" >&2; cat "$dir/err" >&2; exit 1; }
    read -r wall kib <"$dir/time"
    times+=("$wall")
    [ "$kib" -gt "$peak" ] && peak=$kib
  done
  local median
  median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p")
  printf '%-44s %8s s %10s KiB\n' "$name" "$median" "$peak"
}

socat_jq() { socat -t 30 - "UNIX-CONNECT:$sock" <"$dir/request.json" | jq "$@"; }
export -f socat_jq
export sock dir

echo "veld-sim --hosts $hosts, median of $runs runs, peak RSS"
measure "velc --raw (pretty-printed reply)" "$velc" -u "$sock" -t 60 --raw "$request"
measure "socat | jq . (pretty-printed reply)" bash -c 'socat_jq .'
measure "velc -r cat Device.Hosts. (name = value)" "$velc" -u "$sock" -r cat Device.Hosts.
measure "socat | jq -r (name = value)" bash -c \
  'socat_jq -r ".result.ParameterList[] | \"\(.Name) = \(.Value)\""'

# The shell fetches a table once; moving and listing inside it afterwards asks veld nothing.
shell_requests() {
  : >"$dir/requests.log"
  printf '%b' "$1" | "$velc" -u "$sock" >/dev/null
  grep -c -v '"JoinGroup"' "$dir/requests.log" || true
}
cached=$(shell_requests 'ls Device.Hosts.Host\n')
walked=$(shell_requests 'ls Device.Hosts.Host\ncd Device.Hosts.Host.2500\nls\ncd <\nls\ncd 4999\npwd\n')
echo "shell: requests to list the table: $cached; with cd/ls inside it afterwards: $walked"
