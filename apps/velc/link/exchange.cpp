#include "link/exchange.h"

#include <unistd.h>

#include <cstdio>

#include "platform/printable.h"

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
