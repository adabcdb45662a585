#!/usr/bin/env bash
# The Debian packages of a build, unpacked into a fresh root (dpkg -x: no root rights, the
# machine's dpkg database untouched): their Depends come from the linked libraries, the packaged
# velc and manual pages give the packaged version (the project's; the pages write it too), the
# packaged veld-sim serves its packaged default model, and the packaged velc reads it, as does a
# packaged Lua example. In a cross build, the programs run under $VELC_EMULATOR.
#
#   tests/package/package_test.sh BUILD
set -euo pipefail
build=$1
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
sim=""
cleanup() {
  [ -z "$sim" ] || { kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true; }
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
trap 'echo "FAILED: line $LINENO: $BASH_COMMAND" >&2' ERR
# run PROGRAM ARGS...: a program of the package, under the emulator of a cross build.
run() { ${VELC_EMULATOR:-} "$@"; }

# Lintian is the script's own check, run by hand: it takes longer than the rest together.
"$source_dir/scripts/package" -b "$build" -o "$tmp/dist" --no-lintian >/dev/null
root=$tmp/root
for deb in "$tmp"/dist/velc_*.deb "$tmp"/dist/veld-sim_*.deb; do dpkg-deb -x "$deb" "$root"; done

version=$(dpkg-deb -f "$tmp"/dist/velc_*.deb Version)
# package_depends PACKAGE LIBRARY...: the libraries' packages are among PACKAGE's Depends.
package_depends() {
  local depends names
  depends=$(dpkg-deb -f "$tmp"/dist/"$1"_*.deb Depends)
  names=$(tr ',' '\n' <<<"$depends" | awk '{print $1}')
  for library in "${@:2}"; do
    grep -qx -- "$library" <<<"$names" || fail "$1's Depends \"$depends\" lacks $library"
  done
}
package_depends velc libc6 libjansson4 libssl3 liblua5.3-0 libreadline8
package_depends veld-sim libc6 libjansson4 libssl3

out=$(run "$root/usr/bin/velc" --version)
[[ "$out" == *"$version"* ]] || fail "velc --version printed \"$out\", not the package's version $version"
for page in velc veld-sim; do
  header=$(zcat "$root/usr/share/man/man1/$page.1.gz" | sed -n 1p)
  [[ "$header" == *"\"velc $version\""* ]] || fail "the manual page $page.1 is not of version $version: $header"
done
out=$(run "$root/usr/bin/veld-sim" --help)
[[ "$out" == *"$root/usr/share/veld-sim/home-router.json"* ]] || fail "veld-sim's default model is not the packaged one: $out"

socket=$tmp/veld.sock
# Started directly, not through run(): $! must be the server itself (or its emulator), not a
# subshell that would leave it running.
${VELC_EMULATOR:-} "$root/usr/bin/veld-sim" --socket "$socket" &
sim=$!
for _ in $(seq 600); do [ -S "$socket" ] && break; sleep 0.1; done
[ -S "$socket" ] || fail "veld-sim made no socket"
out=$(HOME=$tmp run "$root/usr/bin/velc" -u "$socket" -r cat Device.DeviceInfo.ModelName)
[[ "$out" == *"KR-4200 Home Gateway"* ]] || fail "velc -r cat printed \"$out\""
# velc_lua finds the packaged norlan.device module beside its own folder.
out=$(HOME=$tmp run "$root/usr/bin/velc_lua" -a support:support -u "$socket" "$root/usr/share/doc/velc/examples/hosts-up.lua")
[[ "$out" == *"192.168.1.20    office-pc"* ]] || fail "the packaged example hosts-up.lua printed \"$out\""
echo "packages of $version: installed, velc reads the packaged veld-sim"
