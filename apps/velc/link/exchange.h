// The one way every command asks veld something.
#pragma once

#include "link/session.h"
#include "platform/jrpc_message.h"

// Sends `m` on the session's requests connection and waits for the reply, which is stored in
// `m` (a request that found the connection dead before it left goes once more: see
// Connection::exec). The time-out is `timeout_ms` for this exchange (-1: none); the
// connection's own is the default afterwards. A reply without a result counts in
// `session.failed_requests`. The result of Connection::exec.
int request_exchange(Session& session, k::Message& m, int timeout_ms);
// The same for a request whose reply may be very large: a result is read into `large` instead
// of `m` (see Connection::exec).
int request_exchange(Session& session, k::Message& m, int timeout_ms, k::LargeReply& large);
// The same for a question whose refusal is an answer the caller goes on with (who the user is,
// whether the device came back, what the schema cache may hold, which of two forms a path
// has): a failure is not counted as a failed request.
int request_probe(Session& session, k::Message& m, int timeout_ms);

// True when the message holds a reply with a result.
inline bool reply_ok(const k::Message& m) { return m.kind == k::kMsgResult; }
