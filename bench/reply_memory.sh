#!/usr/bin/env bash
# What a large reply costs velc in memory, against what velc holds as an idle shell.
#
#   bench/reply_memory.sh [BUILD] [RUNS] [HOSTS...]
#
# BUILD (default build) is the build folder whose velc is measured; it may be a cross build, whose
# CMakeCache.txt names the emulator that runs its programs (CMAKE_CROSSCOMPILING_EMULATOR) and its
# strip. The daemon is always the host build's veld-sim (build/bin/veld-sim). For BUILD it prints
# velc's stripped size, its resident memory as an idle interactive shell (VmRSS, read from /proc
# once its prompt shows on a pseudo-terminal), and for each HOSTS (default 5000 20000) the size of
# the reply to `GetParameterValues Device.Hosts.`, the median wall time, the median processor
# time (user + system, of velc alone: the emulator builds the reply meanwhile) and the largest peak
# resident memory (GNU time's "Maximum resident set size") of `velc -r cat Device.Hosts.` over RUNS
# runs (default 5), and the ratio (peak - idle) / reply. Under an emulator (qemu) both figures
# include the emulator's own memory; their difference is what velc's reading of the reply costs.
# Needs tmux, socat and GNU time.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-5}
shift $(( $# < 2 ? $# : 2 ))
host_counts=("$@")
[ ${#host_counts[@]} -gt 0 ] || host_counts=(5000 20000)
velc=$build/bin/velc
sim=build/bin/veld-sim
for tool in tmux socat /usr/bin/time "$velc" "$sim"; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

# cache_value NAME: a value of the build's CMake cache (empty when it is not set).
cache_value() {
  sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt" 2>/dev/null | head -n 1
}
IFS=';' read -r -a emulator <<<"$(cache_value CMAKE_CROSSCOMPILING_EMULATOR)"
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
start_sim 1
idle=$(idle_rss)
echo "idle shell: $idle KiB resident"
printf '%-8s %12s %10s %10s %10s %8s\n' hosts "reply bytes" "wall ms" "cpu ms" "peak KiB" ratio
for hosts in "${host_counts[@]}"; do
  start_sim "$hosts"
  reply=$(printf '%s\n' "$request" | socat -t 60 - "UNIX-CONNECT:$sock" | wc -c)
  walls=() cpus=() peak=0
  for _ in $(seq "$runs"); do
    started=$EPOCHREALTIME
    /usr/bin/time -f "%U %S %M" -o "$dir/time" "${emulator[@]}" "$velc" -u "$sock" -r cat Device.Hosts. \
      >/dev/null 2>"$dir/err" || { echo "velc -r cat failed:" >&2; cat "$dir/err" >&2; exit 1; }
    walls+=("$(awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.0f", (b - a) * 1000 }')")
    read -r user sys kib <"$dir/time"
    cpus+=("$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.0f", (u + s) * 1000 }')")
    [ "$kib" -gt "$peak" ] && peak=$kib
  done
  ratio=$(awk -v p="$peak" -v i="$idle" -v r="$reply" 'BEGIN { printf "%.2f", (p - i) * 1024 / r }')
  printf '%-8s %12s %10s %10s %10s %8s\n' "$hosts" "$reply" "$(median "${walls[@]}")" \
    "$(median "${cpus[@]}")" "$peak" "$ratio"
done
