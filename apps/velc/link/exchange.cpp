#include "link/exchange.h"

namespace {

// Sends `m` on the requests connection with the time-out for this exchange. The connection's own
// time-out (what a login waits) is the default after any exchange, whatever start-up left.
int sent(Session& session, k::Message& m, int timeout_ms, k::LargeReply* large) {
  session.requests.set_timeout(k::kDefaultTimeoutMs);
  return session.requests.exec(m, timeout_ms, large);
}

// The same, counting a reply without a result as a failed request
// (a Ctrl-C that abandons the exchange counts nothing: the command ends anyway).
int counted_exchange(Session& session, k::Message& m, int timeout_ms, k::LargeReply* large) {
  int r = sent(session, m, timeout_ms, large);
  if (!reply_ok(m)) ++session.failed_requests;
  return r;
}

}  // namespace

int request_exchange(Session& session, k::Message& m, int timeout_ms) {
  return counted_exchange(session, m, timeout_ms, nullptr);
}

int request_exchange(Session& session, k::Message& m, int timeout_ms, k::LargeReply& large) {
  return counted_exchange(session, m, timeout_ms, &large);
}

int request_probe(Session& session, k::Message& m, int timeout_ms) {
  return sent(session, m, timeout_ms, nullptr);
}
