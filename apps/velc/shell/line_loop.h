// The one input loop of the interactive shells (the shell's and the Lua shell's): it waits on
// standard input and, when given one, the events connection, hands every finished line to its
// handler and turns Ctrl-C at the prompt into a dropped line.
#pragma once

#include <functional>
#include <string>

#include "link/session.h"
#include "platform/colors.h"
#include "platform/jrpc_connection.h"
#include "shell/line_source.h"

// What a shell does at each point of the loop.
struct LineLoopHandlers {
  // Shows the prompt of a new line; called whenever no line is being edited.
  std::function<void()> show_prompt;
  // Handles a finished line; false ends the loop.
  std::function<bool(const std::string&)> line;
  // Called after Ctrl-C at the prompt dropped the line (may be empty).
  std::function<void()> cancelled;
  // Reads what arrived on the events connection; false when it was lost, which ends the loop.
  // Called only when the loop was given that connection.
  std::function<bool()> events;
};

// Serves `input` (and `events`, unless null) while the session runs, until a handler, the end
// of the input or a failed poll ends it. Ctrl-C never ends it: at the prompt it drops the line,
// in a handler it is the handler's to catch. Lines read plainly are shown escaped while
// `colours.escape` is set.
void run_line_loop(LineSource& input, const Session& session, const k::ColourTable& colours,
                   k::Connection* events, const LineLoopHandlers& handlers);
