#!/usr/bin/env bash
# Runs scripts/check-layers on small trees made here and compares its report and exit status.
set -euo pipefail
script="$(cd "$(dirname "$0")/.." && pwd)/scripts/check-layers"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0

# check NAME STATUS OUTPUT FILE=TEXT...: makes the tree $tmp/NAME from the files (TEXT with \n
# escapes) and expects the script to print OUTPUT (ROOT standing for the tree) and exit STATUS.
# The layers are the client's, or those in $LAYERS.
check() {
  local name=$1 want_status=$2 want=$3 entry file out status=0
  shift 3
  local root="$tmp/$name"
  mkdir -p "$root"
  for entry in "$@"; do
    file="$root/${entry%%=*}"
    mkdir -p "$(dirname "$file")"
    printf '%b' "${entry#*=}" >"$file"
  done
  # shellcheck disable=SC2086 # the layers are words
  out=$("$script" "$root/" ${LAYERS:-} 2>&1) || status=$?
  want=${want//ROOT/$root}
  if [[ $status != "$want_status" || $out != "$want" ]]; then
    printf 'FAIL %s: exit status %s (expected %s)\n--- printed:\n%s\n--- expected:\n%s\n' \
      "$name" "$status" "$want_status" "$out" "$want"
    failures=$((failures + 1))
  fi
}

# Includes of the own layer and the layers below; system includes, comments and files that
# are not sources are not looked at.
check clean 0 "check-layers: ROOT: 4 files, all includes point down" \
  'app/main.cpp=#include "app/modes.h"\n#include "lua/runner.h"\n#include "platform/json.h"\n' \
  'link/events_test.cpp=#include "link/events.h"\n  #  include "platform/test_peer.h"\n#include <app/main.h>\n// #include "app/main.h"\n' \
  'shell/prompt.cpp=#include "device/select.h"\n#include "datamodel/cdpath.h"\n' \
  'platform/json.h=#include <jansson.h>\n' \
  'notes.txt=#include "app/main.h"\n' \
  'app/CMakeLists.txt=#include "app/main.h"\n'

# An include of a layer above, also from a test-support header.
check upward 1 'ROOT/datamodel/test_support.h: includes "shell/prompt.h", which is above its layer
ROOT/platform/socket.cpp: includes "link/user.h", which is above its layer' \
  'datamodel/test_support.h=#include "datamodel/cdpath.h"\n#include "shell/prompt.h"\n' \
  'platform/socket.cpp=#include "platform/socket.h"\n#include "link/user.h"\n' \
  'transfer/download.cpp=#include "transfer/download.h"\n#include "shell/shell_loop.h"\n'

# Files and includes outside the layer folders.
check outside 1 'ROOT/entry/cline.cpp: not in a layer folder
ROOT/main.cpp: not in a layer folder
ROOT/shell/tokenizer.cpp: includes "entry/cline.h", which is not in a layer folder
ROOT/shell/tokenizer.cpp: includes "tokenizer.h", which is not in a layer folder
ROOT/shell/tokenizer.cpp: includes "../app/main.h", which climbs out with ".."
ROOT/shell/tokenizer.cpp: includes "platform/../app/main.h", which climbs out with ".."' \
  'main.cpp=' \
  'entry/cline.cpp=#include "platform/text.h"\n' \
  'shell/tokenizer.cpp=#include "entry/cline.h"\n#include "tokenizer.h"\n#include "../app/main.h"\n#include "platform/../app/main.h"\n'

# Layers given on the command line (veld-sim's): the lowest, platform, is no folder of the tree.
LAYERS="daemon downloads engine model platform" check sim 1 'ROOT/engine/engine.cpp: includes "daemon/server.h", which is above its layer
ROOT/model/node.h: includes "shell/prompt.h", which is not in a layer folder' \
  'daemon/main.cpp=#include "engine/engine.h"\n#include "platform/json.h"\n' \
  'engine/engine.cpp=#include "model/node.h"\n#include "daemon/server.h"\n' \
  'model/node.h=#include "platform/json.h"\n#include "shell/prompt.h"\n'

if ((failures)); then exit 1; fi
echo "check-layers: all cases pass"
