// What a command of the data model, the device or a transfer works on: the session with veld,
// the data-model view, the colour scheme and the stream its output goes to.
#pragma once

#include <cstdio>

#include "datamodel/view.h"
#include "link/session.h"
#include "platform/colors.h"

struct CommandContext {
  Session& session;
  DataModelView& view;
  k::ColourTable& colours;
  // Where the command's output goes (error lines go to standard error): standard output, or
  // the configuration script's /dev/null, or a test's file.
  FILE* out = stdout;
};
