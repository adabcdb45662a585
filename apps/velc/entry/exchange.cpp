#include "entry/exchange.h"

#include <cstdio>

#include "platform/colors.h"

k::Connection& requests_handle() {
  static k::Connection handle;
  return handle;
}

k::Connection& events_handle() {
  static k::Connection handle;
  return handle;
}

namespace {

// Restores the default time-out however the exchange ends (Ctrl-C included).
struct DefaultTimeoutGuard {
  ~DefaultTimeoutGuard() { requests_handle().set_timeout(5000); }
};

}  // namespace

int request_exchange(k::Message& m, int timeout_ms) {
  k::Connection& handle = requests_handle();
  DefaultTimeoutGuard guard;
  handle.set_timeout(timeout_ms);
  int r = handle.exec(m);
  if (r < 0 && handle.socket_err() == k::kSockResend) r = handle.exec(m);
  return r;
}

void report_result(const k::Message& m) {
  if (m.error_code == 0) {
    std::fputs("Status: ", stdout);
    k::colors_set(k::kColourOk);
    std::fputs("OK", stdout);
    k::colors_reset();
    std::fputs("\n", stdout);
    std::fflush(stdout);
    return;
  }
  k::colors_set(k::kColourError);
  std::printf("[%d] %s", m.error_code, m.error_message ? m.error_message->c_str() : "");
  k::colors_reset();
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
