// What the shell's commands under test work on: TestClient's session, view and colours, with the
// line editor's switches, as the client the shell hands its commands.
#pragma once

#include "datamodel/test_support.h"
#include "shell/client.h"

namespace testing_support {

struct ShellTestClient : TestClient {
  k::EditorSwitches editor;
  Client shell{{session, view, colours}, editor};
};

}  // namespace testing_support
