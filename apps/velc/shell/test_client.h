// What the shell's commands under test work on: TestClient's session, view and colours, with the
// line editor's switches, as the client the shell hands its commands; its output goes to
// `stream`, read by `text()`.
#pragma once

#include "datamodel/test_support.h"
#include "shell/client.h"

namespace testing_support {

struct ShellTestClient : TestClient {
  k::EditorSwitches editor;
  Client shell{{session, view, colours, stream.file}, editor};
};

}  // namespace testing_support
