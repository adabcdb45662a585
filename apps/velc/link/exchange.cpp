#include "link/exchange.h"

#include <cstdio>

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
  colours.set_fixed(k::kColourError);
  std::printf("[%d] %s", m.error_code, m.error_message ? m.error_message->c_str() : "");
  colours.reset();
  if (m.error_detail)
    std::printf(": %s\n", m.error_detail->c_str());
  else
    std::fputs("\n", stdout);
  const char* key;
  json_t* value;
  json_object_foreach(m.error_data.get(), key, value) {
    std::printf("%s: %s\n", key, k::json_dump(value, JSON_ENCODE_ANY).c_str());
  }
}
