#include "link/exchange.h"

#include <unistd.h>

#include <cstdio>

#include "platform/printable.h"

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

void report_result(const k::Message& m, const k::ColourTable& colours, FILE* to) {
  // The colour scheme and its escaping describe standard output.
  const bool on_stdout = to == stdout;
  const k::ColourTable plain;
  const k::ColourTable& scheme = on_stdout ? colours : plain;
  if (m.error_code == 0) {
    std::fputs("Status: ", to);
    scheme.set_fixed(k::kColourOk);
    std::fputs("OK", to);
    scheme.reset();
    std::fputs("\n", to);
    std::fflush(to);
    return;
  }
  // The texts are veld's: on a terminal their control characters are escaped.
  bool escape = on_stdout ? colours.escape : isatty(fileno(to)) == 1;
  scheme.set_fixed(k::kColourError);
  std::fprintf(to, "[%d] ", m.error_code);
  k::put_text(m.error_message.value_or(""), escape, to);
  scheme.reset();
  if (m.error_detail) {
    std::fputs(": ", to);
    k::put_text(*m.error_detail, escape, to);
  }
  std::fputs("\n", to);
  const char* key;
  json_t* value;
  json_object_foreach(m.error_data.get(), key, value) {
    k::put_text(key, escape, to);
    std::fputs(": ", to);
    k::put_text(k::json_dump(value, JSON_ENCODE_ANY), escape, to);
    std::fputs("\n", to);
  }
}
