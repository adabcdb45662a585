// What every command of the table receives: the command context, and what only the shell's own
// commands use (the line editor's switches, the recording).
#pragma once

#include <cstdio>

#include "datamodel/context.h"
#include "platform/line_editor.h"

struct RecordState;  // the shell's session recording (shell/record.h)

struct Client : CommandContext {
  // What the shell's line editor offers (`opt`); a configuration script's choice carries over
  // into the shell, as its colours do.
  k::EditorSwitches& editor;
  // The interactive shell's recording, which `record` starts and stops; none elsewhere (the
  // configuration script, request mode), where nothing is recorded.
  RecordState* record = nullptr;
};

// A user of the command table (the shell, request mode, script mode, the configuration script):
// a data-model view of its own and the client its commands receive, made in this one place.
class CommandRun {
 public:
  CommandRun(Session& session, k::ColourTable& colours, k::EditorSwitches& editor,
             FILE* out = stdout, RecordState* record = nullptr)
      : client_{{session, view_, colours, out}, editor, record} {}
  CommandRun(const CommandRun&) = delete;
  CommandRun& operator=(const CommandRun&) = delete;

  // What the commands of this user receive.
  Client& client() { return client_; }
  // The user's own data-model view (the client's `view`).
  DataModelView& view() { return view_; }

 private:
  DataModelView view_;
  Client client_;
};
