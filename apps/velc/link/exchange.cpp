#include "link/exchange.h"

namespace {

// Restores the default time-out however the exchange ends (Ctrl-C included).
struct DefaultTimeoutGuard {
  k::Connection& handle;
  ~DefaultTimeoutGuard() { handle.set_timeout(k::kDefaultTimeoutMs); }
};

}  // namespace

// Sends with `exec` on the requests connection, once more when the connection was found dead
// before the request left, with the time-out for this exchange.
template <typename Exec>
int send_on(Session& session, int timeout_ms, Exec exec) {
  k::Connection& handle = session.requests;
  DefaultTimeoutGuard guard{handle};
  handle.set_timeout(timeout_ms);
  int r = exec(handle);
  if (r < 0 && handle.socket_err() == k::kSockResend) r = exec(handle);
  return r;
}

// The same, counting a reply without a result as a failed request (a Ctrl-C that abandons the
// exchange counts nothing: the command ends anyway).
template <typename Exec>
int exchange_on(Session& session, k::Message& m, int timeout_ms, Exec exec) {
  int r = send_on(session, timeout_ms, exec);
  if (!reply_ok(m)) ++session.failed_requests;
  return r;
}

int request_exchange(Session& session, k::Message& m, int timeout_ms) {
  return exchange_on(session, m, timeout_ms, [&](k::Connection& c) { return c.exec(m); });
}

int request_exchange(Session& session, k::Message& m, int timeout_ms, k::LargeReply& large) {
  return exchange_on(session, m, timeout_ms, [&](k::Connection& c) { return c.exec(m, large); });
}

int request_probe(Session& session, k::Message& m, int timeout_ms) {
  return send_on(session, timeout_ms, [&](k::Connection& c) { return c.exec(m); });
}
