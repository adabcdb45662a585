// The two connections to veld, and the one way every command asks it something and reports the
// outcome.
#pragma once

#include "platform/jrpc_connection.h"
#include "platform/jrpc_message.h"

// The connection on which every request of every command is sent and answered.
k::Connection& requests_handle();
// The connection that receives events (group 4 and the groups the user joined).
k::Connection& events_handle();

// Sends `m` on the requests handle and waits for the reply, which is stored in `m`. A request
// that found the connection dead is sent once more. The handle's time-out is `timeout_ms` for
// this exchange and back at 5000 ms afterwards. The result of Connection::exec.
int request_exchange(k::Message& m, int timeout_ms);

// Prints the outcome of a replied message: "Status: OK", or the error code, message, detail and
// error data.
void report_result(const k::Message& m);

// True when the message holds a reply with a result.
inline bool reply_ok(const k::Message& m) { return m.kind == k::kMsgResult; }
