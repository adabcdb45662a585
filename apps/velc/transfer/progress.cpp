#include "transfer/progress.h"

#include <cerrno>
#include <cstdio>
#include <optional>

#include "link/exchange.h"
#include "platform/exit_request.h"
#include "platform/interrupt.h"
#include "platform/progressbar.h"
#include "platform/text.h"

namespace {

constexpr const char* kLabel = "Flashing:";
constexpr const char* kProgressName = "Device.DeviceInfo.UpgradeProgress";
constexpr const char* kStatusName = "Device.DeviceInfo.UpgradeStatus";

// An integer value of the reply: a JSON integer, or a text holding one. 0 when absent.
int integer_value(json_t* value) {
  if (json_is_integer(value)) return static_cast<int>(json_integer_value(value));
  int32_t n = 0;
  if (json_is_string(value)) k::string_to_i32(json_string_value(value), 10, n);
  return n;
}

// Reads the progress and the status from a poll's ParameterList.
void read_poll(json_t* result, int& progress, int& status) {
  progress = 0;
  status = 0;
  size_t i;
  json_t* entry;
  json_array_foreach(json_object_get(result, "ParameterList"), i, entry) {
    std::string name = k::json_text(entry, "Name");
    if (name == kProgressName) progress = integer_value(json_object_get(entry, "Value"));
    if (name == kStatusName) status = integer_value(json_object_get(entry, "Value"));
  }
}

// Pauses between polls; Ctrl-C ends the pause with k::Interrupted.
void pause(useconds_t us) {
  if (::usleep(us) != 0 && errno == EINTR) k::interrupt_check();
}

}  // namespace

char progress_mark(int previous, int progress) {
  if (progress / 2 == previous / 2) return '\0';
  return progress / 10 == previous / 10 ? '*' : '@';
}

void progress_display(Client& client, const k::Message& download, useconds_t pause_us) {
  k::Json names = k::Json::take(json_pack("[s, s]", kProgressName, kStatusName));
  std::fputs("Flashing: ", stdout);
  std::fflush(stdout);
  int previous = 0;
  // A reply that comes over another connection than the last one is from a device that went
  // away and came back (it flashed and rebooted between two polls): the flashing is over, as
  // when a poll fails.
  std::optional<uint64_t> connection;
  for (;;) {
    k::Message poll = k::msg_get_parameter_values(names);
    request_probe(client.session, poll, kProgressPollTimeoutMs);  // a failure ends the flashing
    if (!reply_ok(poll)) break;
    if (connection && *connection != client.session.requests.connections()) break;
    connection = client.session.requests.connections();
    int progress, status;
    read_poll(poll.result.get(), progress, status);
    if (status < 0) break;
    k::draw_progressbar(progress, kLabel);
    if (char mark = progress_mark(previous, progress)) {
      std::putchar(mark);
      std::fflush(stdout);
    }
    pause(pause_us);
    previous = progress;
  }
  k::draw_progressbar(100, kLabel);
  std::putchar('\n');
  report_result(download, client.colours);
  std::fflush(stdout);
  throw k::ExitRequest{0};
}
