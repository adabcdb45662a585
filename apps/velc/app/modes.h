// The one-shot modes: raw message, event send, listen; and script mode.
#pragma once

#include "app/cline.h"
#include "link/session.h"
#include "platform/colors.h"
#include "platform/line_editor.h"

// Sends the raw JSON-RPC text of `options.parameters[0]`; prints the reply of a request (or the
// error a failed exchange left in it). The reply's error code (0 without), or -1 for a text that
// is no JSON or no JSON-RPC message.
int raw_mode(Session& session, const Options& options, int timeout_ms);
// Sends an event with the mode's id and the first positional word as JSON data. The send result.
int event_mode(Session& session, const Options& options);
// Prints the events of the joined groups until the events connection is lost or SIGTERM arrives
// (0), or Ctrl-C (k::Interrupted is thrown, which ends the run with 130). With `escape`, control
// characters in the events are escaped.
int listen_mode(Session& session, bool escape);
// Runs the script of script mode: `options.script_path`, else the first positional word, else
// standard input; each command through the request dispatch (no schema cache: paths go to veld
// as typed). Without --auth the local system user is logged in first (see try_login). The
// script's status. Ctrl-C stops the script with k::Interrupted (the run then ends with 130).
int script_mode(Session& session, const Options& options, k::ColourTable& colours,
                k::EditorSwitches& editor);
