// What every command works on: the session with veld, the data-model view, the colour scheme and the
// line editor's switches.
// The shell and request mode each hold one and hand it to the commands they run.
#pragma once

#include "datamodel/view.h"
#include "link/session.h"
#include "platform/colors.h"
#include "platform/line_editor.h"

struct RecordState;  // the shell's session recording (shell/record.h)

struct Client {
  Session& session;
  DataModelView& view;
  k::ColourTable& colours;
  // What the shell's line editor offers (`opt`); a configuration script's choice carries over
  // into the shell, as its colours do.
  k::EditorSwitches& editor;
  // The interactive shell's recording, which `record` starts and stops; none elsewhere (the
  // configuration script, request mode), where nothing is recorded.
  RecordState* record = nullptr;
};
