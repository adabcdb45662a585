#!/usr/bin/env bash
# Upgrades veld-sim with a firmware image of MB mebibytes (default 64) over each channel of
# `upgrade`: "file://" on the UNIX socket, the client's netcat server over TCP, and an http URL
# that veld-sim fetches from a local server (socat). veld-sim flashes in no time and reboots at
# once, so the time is the dialogue and the transfer (veld-sim reading the image, checking its
# MD5 and SHA-256 and saving it), the restart, and velc reading the version it came back with. Then the same with an 8 MiB image, to show that velc's memory
# does not grow with the image.
#
#   bench/upgrade.sh [MB] [RUNS]
#
# Prints, per channel and size, the median wall time of `velc -r upgrade` over RUNS runs
# (default 3) and velc's largest peak resident memory (GNU time). Needs a build in build/
# (scripts/build) and the packages time and socat.
set -euo pipefail
cd "$(dirname "$0")/.."
mb=${1:-64}
runs=${2:-3}
velc=$PWD/build/bin/velc
sim=$PWD/build/bin/veld-sim
for tool in /usr/bin/time socat "$velc" "$sim"; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

dir=$(mktemp -d "${TMPDIR:-/tmp}/velc-bench-XXXXXX")
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null && wait "$p" 2>/dev/null; done
  rm -rf "$dir"
}
trap cleanup EXIT

"$sim" --socket "$dir/veld.sock" --tcp 127.0.0.1:0 --access models/home-router.json \
  --flash-time 0 --reboot-time 0 >"$dir/sim.out" 2>&1 &
pids+=($!)
for _ in $(seq 200); do grep -q "ready on $dir/veld.sock" "$dir/sim.out" 2>/dev/null && break; sleep 0.05; done
tcp=$(grep -o 'tcp:[0-9.]*:[0-9]*' "$dir/sim.out")

# Reads an HTTP request's header from standard input, then writes the file named.
cat >"$dir/http-once" <<'SH'
#!/bin/sh
cr=$(printf '\r')
while IFS= read -r line && [ -n "${line%"$cr"}" ]; do :; done
exec cat "$1"
SH
chmod +x "$dir/http-once"

version=0
for size in "$mb" 8; do
  echo "image of $size MiB, median of $runs runs, velc's peak RSS"
  images=()
  for _ in $(seq $((runs * 3))); do  # a new version for every run: each is a real upgrade
    version=$((version + 1))
    scripts/make-firmware "5.0.$version" "$dir/fw-$version.img" $((size << 20)) >/dev/null
    images+=("$dir/fw-$version.img")
  done
  i=0
  # run_channel NAME KIND: RUNS upgrades over one channel, each with an image of its own.
  run_channel() {
    local name=$1 kind=$2
    local times=() peak=0
    for _ in $(seq "$runs"); do
      local image=${images[$i]}
      i=$((i + 1))
      case $kind in
        file) args=(-u "$dir/veld.sock" -r upgrade "$image") ;;
        netcat) args=(-u "$tcp" -r upgrade "$image") ;;
        http)
          # One answer, after the request's header: the image with an HTTP header.
          printf 'HTTP/1.0 200 OK\r\nContent-Length: %s\r\n\r\n' "$(stat -c %s "$image")" >"$dir/reply"
          cat "$image" >>"$dir/reply"
          port=$((20000 + RANDOM % 20000))
          socat "TCP-LISTEN:$port,bind=127.0.0.1,reuseaddr" EXEC:"$dir/http-once $dir/reply" &
          pids+=($!)
          sleep 0.2
          args=(-u "$dir/veld.sock" -r upgrade "http://127.0.0.1:$port/fw.img") ;;
      esac
      /usr/bin/time -f "%e %M" -o "$dir/time" "$velc" -a admin:admin "${args[@]}" </dev/null >"$dir/out" 2>&1 || {
        echo "$name failed:" >&2; cat "$dir/out" >&2; exit 1; }
      grep -q "Status: OK" "$dir/out" || { echo "$name: no final status:" >&2; cat "$dir/out" >&2; exit 1; }
      read -r wall kib <"$dir/time"
      times+=("$wall")
      [ "$kib" -gt "$peak" ] && peak=$kib
    done
    printf '%-36s %8s s %10s KiB\n' "$name" \
      "$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p")" "$peak"
  }
  run_channel "file:// (UNIX socket)" file
  run_channel "netcat (TCP, client serves the file)" netcat
  run_channel "http (veld-sim fetches from socat)" http
done
