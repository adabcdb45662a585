#include "link/exchange.h"

#include <cstdio>

#include "platform/printable.h"

namespace {

// Restores the default time-out however the exchange ends (Ctrl-C included).
struct DefaultTimeoutGuard {
  k::Connection& handle;
  ~DefaultTimeoutGuard() { handle.set_timeout(k::kDefaultTimeoutMs); }
};

}  // namespace

int request_exchange(Session& session, k::Message& m, int timeout_ms) {
  k::Connection& handle = session.requests;
  DefaultTimeoutGuard guard{handle};
  handle.set_timeout(timeout_ms);
  int r = handle.exec(m);
  if (r < 0 && handle.socket_err() == k::kSockResend) r = handle.exec(m);
  return r;
}

void report_result(const k::Message& m, const k::ColourTable& colours) {
  if (m.error_code == 0) {
    std::fputs("Status: ", stdout);
    colours.set_fixed(k::kColourOk);
    std::fputs("OK", stdout);
    colours.reset();
    std::fputs("\n", stdout);
    std::fflush(stdout);
    return;
  }
  // The texts are veld's: on a terminal their control characters are escaped.
  bool escape = colours.escape;
  colours.set_fixed(k::kColourError);
  std::printf("[%d] ", m.error_code);
  k::put_text(m.error_message.value_or(""), escape);
  colours.reset();
  if (m.error_detail) {
    std::fputs(": ", stdout);
    k::put_text(*m.error_detail, escape);
  }
  std::fputs("\n", stdout);
  const char* key;
  json_t* value;
  json_object_foreach(m.error_data.get(), key, value) {
    k::put_text(key, escape);
    std::fputs(": ", stdout);
    k::put_text(k::json_dump(value, JSON_ENCODE_ANY), escape);
    std::fputs("\n", stdout);
  }
}
