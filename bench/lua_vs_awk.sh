#!/usr/bin/env bash
# Counts the hosts that are up in veld-sim --hosts N (default 5000): a Lua script that reads all
# of Device.Hosts. into Lua tables with norlan.device (`device.tree`: nested tables), against
# `velc -r cat Device.Hosts.` piped into awk; then, for scale, the Lua script with the values in
# one flat table by full name (`device.get`) and one that reads only the Active column. All must
# find the same count.
#
#   bench/lua_vs_awk.sh [HOSTS] [RUNS]
#
# For each way it prints the median wall time over RUNS runs (default 7) and the largest peak
# resident memory (of velc for the pipeline; awk's is small), as measured by GNU time. Needs a
# build in build/ (scripts/build) and the package time.
set -euo pipefail
cd "$(dirname "$0")/.."
hosts=${1:-5000}
runs=${2:-7}
velc=$PWD/build/bin/velc
sim=build/bin/veld-sim
for tool in awk /usr/bin/time "$velc" "$sim"; do
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
"$sim" --socket "$sock" --access models/open-access.json --hosts "$hosts" >"$dir/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 200); do grep -q ready "$dir/sim.out" 2>/dev/null && break; sleep 0.05; done

cat >"$dir/count.lua" <<'LUA'
local values = require("norlan.device").get("Device.Hosts.")
local up = 0
for name, value in pairs(values) do
  if value == true and name:find("^Device%.Hosts%.Host%.%d+%.Active$") then up = up + 1 end
end
print(up)
LUA
# The same values as nested tables: hosts.Host[n].Active.
cat >"$dir/tree.lua" <<'LUA'
local hosts = require("norlan.device").tree("Device.Hosts.")
local up = 0
for _, host in pairs(hosts.Host) do
  if type(host) == "table" and host.Active then up = up + 1 end
end
print(up)
LUA
# The same count reading only the column it needs: "#template" stands for every instance.
cat >"$dir/column.lua" <<'LUA'
local values = require("norlan.device").get("Device.Hosts.Host.#template.Active")
local up = 0
for _, active in pairs(values) do
  if active then up = up + 1 end
end
print(up)
LUA
count_awk() { "$velc" -u "$sock" -r cat Device.Hosts. | awk '/^Host\.[0-9]+\.Active +=/ && $NF == "true" { n++ } END { print n + 0 }'; }
export -f count_awk
export velc sock

# measure NAME COMMAND...: runs the command RUNS times; prints the median time and peak memory.
measure() {
  local name=$1
  shift
  local times=() peak=0
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%e %M" -o "$dir/time" "$@" >"$dir/out" 2>"$dir/err" || {
      echo "$name failed:" >&2; cat "$dir/err" >&2; exit 1; }
    read -r wall kib <"$dir/time"
    times+=("$wall")
    [ "$kib" -gt "$peak" ] && peak=$kib
  done
  local median
  median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p")
  printf '%-40s %8s s %10s KiB   up: %s\n' "$name" "$median" "$peak" "$(cat "$dir/out")"
}

echo "veld-sim --hosts $hosts, median of $runs runs, peak RSS"
measure "velc -S tree.lua (norlan.device tree)" "$velc" -u "$sock" -S "$dir/tree.lua"
measure "velc -r cat Device.Hosts. | awk" bash -c count_awk
measure "velc -S count.lua (norlan.device get)" "$velc" -u "$sock" -S "$dir/count.lua"
measure "velc -S column.lua (the Active column)" "$velc" -u "$sock" -S "$dir/column.lua"
