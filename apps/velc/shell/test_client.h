// What the shell's commands under test work on: TestClient's session, view and colours, with the
// line editor's switches, as the client the shell hands its commands; its output goes to
// `stream`, read by `text()`.
#pragma once

#include "datamodel/test_support.h"
#include "shell/client.h"

namespace testing_support {

struct ShellTestClient : TestClient {
  using TestClient::TestClient;
  k::EditorSwitches editor;
  Client shell{{session, view, colours, stream.file}, editor};

  using TestClient::run;
  // Runs a shell command with the words: its status, a blank, and what it wrote to `stream`.
  std::string run(int (*handler)(Client&, const std::string&, json_t*), const std::string& name,
                  const std::vector<const char*>& words) {
    int status = handler(shell, name, args(words).get());
    return std::to_string(status) + " " + text();
  }
};

}  // namespace testing_support
