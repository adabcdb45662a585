#!/usr/bin/env bash
# What a large reply costs velc in memory, against what velc holds as an idle shell.
#
#   bench/reply_memory.sh [BUILD] [RUNS] [HOSTS...]
#
# BUILD (default build) is the build folder whose velc is measured; it may be a cross build, whose
# CMakeCache.txt names the emulator that runs its programs (CMAKE_CROSSCOMPILING_EMULATOR) and its
# strip. The daemon is always the host build's veld-sim (build/bin/veld-sim). For BUILD it prints
# velc's stripped size and its resident memory as an idle interactive shell (VmRSS, read from
# /proc once its prompt shows on a pseudo-terminal). Then, for each HOSTS (default 5000 20000),
# the size of the reply to `GetParameterValues Device.Hosts.`, and for each of these commands the
# median wall time, the median processor time (user + system, of velc alone: the emulator builds
# the reply meanwhile), the largest peak resident memory (GNU time's "Maximum resident set size")
# over RUNS runs (default 5) and the ratio (peak - idle) / reply:
#   `velc -r cat Device.Hosts.` (the command the memory budget of 1.5 is for),
#   raw mode with the same request, and Lua scripts that read the same values with
#   norlan.device's `tree` and `get` (these build Lua tables of the values: no budget).
# Under an emulator (qemu) the idle and peak figures include the emulator's own memory; their
# difference is what velc's reading of the reply costs. Needs tmux, socat and GNU time.
set -euo pipefail
cd "$(dirname "$0")/.."
TIMEFORMAT='%3R %3U %3S'
build=${1:-build}
runs=${2:-5}
shift $(( $# < 2 ? $# : 2 ))
host_counts=("$@")
[ ${#host_counts[@]} -gt 0 ] || host_counts=(5000 20000)
velc=$(cd "$build" 2>/dev/null && pwd)/bin/velc  # absolute: tmux starts it from elsewhere
sim=build/bin/veld-sim
for tool in tmux socat /usr/bin/time "$velc" "$sim"; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

# cache_value NAME: a value of the build's CMake cache (empty when it is not set).
cache_value() {
  sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt" 2>/dev/null | head -n 1
}
emulator_text=$(cache_value CMAKE_CROSSCOMPILING_EMULATOR)
if [ -z "$emulator_text" ] && [ -n "$(cache_value VELC_QEMU)" ]; then
  # A cross build whose toolchain file sets the emulator without caching it: its two parts are.
  emulator_text="$(cache_value VELC_QEMU);-L;$(cache_value VELC_SYSROOT)"
fi
IFS=';' read -r -a emulator <<<"$emulator_text"
strip_tool=$(cache_value CMAKE_STRIP)
strip_tool=${strip_tool:-strip}

dir=$(mktemp -d "${TMPDIR:-/tmp}/velc-reply-memory-XXXXXX")
sim_pid=""
session=velc-reply-memory-$$
stop_sim() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
  fi
}
cleanup() {
  tmux kill-session -t "$session" 2>/dev/null || true
  stop_sim
  rm -rf "$dir"
}
trap cleanup EXIT
sock=$dir/veld.sock

# start_sim HOSTS: a fresh veld-sim whose guests may read everything (the figures are of the
# reading, not of logging in).
start_sim() {
  stop_sim
  rm -f "$dir/sim.out"
  "$sim" --socket "$sock" --access models/open-access.json --hosts "$1" >"$dir/sim.out" 2>&1 &
  sim_pid=$!
  for _ in $(seq 400); do grep -q ready "$dir/sim.out" 2>/dev/null && return; sleep 0.05; done
  echo "veld-sim did not start:" >&2
  cat "$dir/sim.out" >&2
  exit 1
}

# idle_rss: VmRSS in KiB of velc as an interactive shell on a pseudo-terminal, at its prompt.
idle_rss() {
  local command pid
  command="exec $(printf '%q ' "${emulator[@]}" "$velc" -u "$sock")"
  tmux new-session -d -s "$session" -x 120 -y 30 "$command"
  for _ in $(seq 600); do
    tmux capture-pane -p -t "$session" | grep -q ':> *$' && break
    sleep 0.1
  done
  tmux capture-pane -p -t "$session" | grep -q ':> *$' || {
    echo "velc showed no prompt:" >&2; tmux capture-pane -p -t "$session" >&2; exit 1; }
  sleep 0.5  # what follows the prompt (the event group's join) settles
  pid=$(tmux list-panes -t "$session" -F '#{pane_pid}')
  sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$pid/status"
  tmux kill-session -t "$session"
}

# median N...: the median of the numbers.
median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }

request='{"jsonrpc":"2.0","id":1,"method":"GetParameterValues","params":{"ParameterNames":["Device.Hosts."]}}'
"$strip_tool" -o "$dir/velc.stripped" "$velc"
echo "build: $build${emulator[*]:+ (run through: ${emulator[*]})}"
echo "velc stripped: $(stat -c %s "$dir/velc.stripped") bytes"
start_sim 1  # the idle shell's figure does not depend on the table's size
idle=$(idle_rss)
echo "idle shell: $idle KiB resident"
cat >"$dir/tree.lua" <<'LUA'
require("norlan.device").tree("Device.Hosts.")
LUA
cat >"$dir/get.lua" <<'LUA'
require("norlan.device").get("Device.Hosts.")
LUA

# measure HOSTS NAME REPLY ARGS...: runs velc with ARGS RUNS times, its output thrown away, and
# prints one row.
measure() {
  local hosts=$1 name=$2 reply=$3 walls=() cpus=() peak=0 wall user sys kib ratio
  shift 3
  for _ in $(seq "$runs"); do
    # bash's `time` gives the wall and processor times to the millisecond (the processor time
    # of every process it waited for: velc, or the emulator running it); GNU time the peak.
    { time /usr/bin/time -f "%M" -o "$dir/peak" "${emulator[@]}" "$velc" -u "$sock" "$@" \
        >/dev/null 2>"$dir/err"; } 2>"$dir/times" || {
      echo "velc $* failed:" >&2; cat "$dir/err" >&2; exit 1; }
    read -r wall user sys <"$dir/times"
    read -r kib <"$dir/peak"
    walls+=("$(awk -v w="$wall" 'BEGIN { printf "%.0f", w * 1000 }')")
    cpus+=("$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.0f", (u + s) * 1000 }')")
    [ "$kib" -gt "$peak" ] && peak=$kib
  done
  ratio=$(awk -v p="$peak" -v i="$idle" -v r="$reply" 'BEGIN { printf "%.2f", (p - i) * 1024 / r }')
  printf '%-7s %-22s %10s %8s %8s %10s %7s\n' "$hosts" "$name" "$reply" "$(median "${walls[@]}")" \
    "$(median "${cpus[@]}")" "$peak" "$ratio"
}

printf '%-7s %-22s %10s %8s %8s %10s %7s\n' hosts command "reply B" "wall ms" "cpu ms" "peak KiB" ratio
for hosts in "${host_counts[@]}"; do
  start_sim "$hosts"
  reply=$(printf '%s\n' "$request" | socat -t 60 - "UNIX-CONNECT:$sock" | wc -c)
  measure "$hosts" "-r cat Device.Hosts." "$reply" -r cat Device.Hosts.
  measure "$hosts" "--raw (the request)" "$reply" -t 60 --raw "$request"
  measure "$hosts" "Lua device.tree" "$reply" -S "$dir/tree.lua"
  measure "$hosts" "Lua device.get" "$reply" -S "$dir/get.lua"
done
