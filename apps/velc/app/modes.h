// The one-shot modes: raw message, event send, listen.
#pragma once

#include "app/cline.h"
#include "link/session.h"

// Sends the raw JSON-RPC text of `options.parameters[0]`; prints the reply of a request (or the
// error a failed exchange left in it). The reply's error code (0 without), or -1 for a text that
// is no JSON or no JSON-RPC message.
int raw_mode(Session& session, const Options& options, int timeout_ms);
// Sends an event with the mode's id and the first positional word as JSON data. The send result.
int event_mode(Session& session, const Options& options);
// Prints the events of the joined groups until the events connection is lost or SIGTERM arrives;
// SIGINT is ignored. With `escape`, control characters in the events are escaped. 0.
int listen_mode(Session& session, bool escape);
