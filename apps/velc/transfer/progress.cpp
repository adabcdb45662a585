#include "transfer/progress.h"

#include <cerrno>
#include <cstdio>
#include <string>

#include "link/exchange.h"
#include "platform/interrupt.h"
#include "platform/printable.h"
#include "platform/text.h"
#include "render/result_report.h"
#include "transfer/exit_request.h"
#include "transfer/progressbar.h"

namespace {

constexpr const char* kLabel = "Flashing:";
constexpr const char* kProgressName = "Device.DeviceInfo.UpgradeProgress";
constexpr const char* kStatusName = "Device.DeviceInfo.UpgradeStatus";
constexpr const char* kVersionName = "Device.DeviceInfo.SoftwareVersion";

// The value of `name` in a GetParameterValues result's ParameterList; none when absent.
json_t* listed_value(json_t* result, const char* name) {
  size_t i;
  json_t* entry;
  json_array_foreach(json_object_get(result, "ParameterList"), i, entry) {
    if (k::json_text(entry, "Name") == name) return json_object_get(entry, "Value");
  }
  return nullptr;
}

// An integer value of the reply: a JSON integer, or a text holding one. 0 when absent.
int integer_value(json_t* value) {
  if (json_is_integer(value)) return static_cast<int>(json_integer_value(value));
  int32_t n = 0;
  if (json_is_string(value)) k::string_to_i32(json_string_value(value), 10, n);
  return n;
}

// Pauses between polls; Ctrl-C ends the pause with k::Interrupted.
void pause(useconds_t us) {
  if (::usleep(us) != 0 && errno == EINTR) k::interrupt_check();
}

// Ends the line of marks with the full bar and the download's outcome, and the client with 0.
[[noreturn]] void succeed(CommandContext& client, const k::Message& download) {
  k::draw_progressbar(100, kLabel, client.out);
  std::fputc('\n', client.out);
  report_result(download, client.colours, client.out);
  std::fflush(client.out);
  throw k::ExitRequest{0};
}

// Ends the line of marks (the bar stays where it was: nothing more was flashed), prints `why`
// and, when given, veld's error, and ends the client with -1.
[[noreturn]] void fail(CommandContext& client, const std::string& why, const k::Message* error = nullptr) {
  std::fputc('\n', client.out);
  client.colours.set_fixed(k::kColourError, client.out);
  std::fputs(why.c_str(), client.out);
  client.colours.reset(client.out);
  std::fputc('\n', client.out);
  if (error) report_result(*error, client.colours, client.out);
  std::fflush(client.out);
  throw k::ExitRequest{-1};
}

// The device answers again after it went away: ends the client on the version it now runs.
[[noreturn]] void check_comeback(CommandContext& client, const k::Message& download) {
  std::string expected = k::json_text(download.result.get(), "NewVersion");
  if (expected.empty()) succeed(client, download);  // nothing to compare with
  k::Connection& requests = client.session.requests;
  // A password login cannot go with a new connection: the version is read as a guest.
  if (requests.socket_err() == k::kSockLoginLost) requests.logout();
  k::Message ask = k::msg_get_parameter_values(k::Json::take(json_pack("[s]", kVersionName)));
  request_exchange(client.session, ask, kProgressPollTimeoutMs);
  json_t* version = listed_value(ask.result.get(), kVersionName);
  if (!reply_ok(ask) || !json_is_string(version))
    fail(client, "Upgrade not confirmed: the device answers again but its version cannot be read.",
         &ask);
  std::string running = json_string_value(version);
  if (running != expected) {
    // Versions are the device's texts: escaped on a terminal, like all of them.
    bool escape = client.colours.escape;
    fail(client, "Upgrade failed: the device came back running " +
                     (escape ? k::escape_controls(running) : running) + ", not " +
                     (escape ? k::escape_controls(expected) : expected) + ".");
  }
  succeed(client, download);
}

}  // namespace

char progress_mark(int previous, int progress) {
  if (progress / 2 == previous / 2) return '\0';
  return progress / 10 == previous / 10 ? '*' : '@';
}

void progress_display(CommandContext& client, const k::Message& download, const ProgressWaits& waits) {
  k::Json names = k::Json::take(json_pack("[s, s]", kProgressName, kStatusName));
  k::Connection& requests = client.session.requests;
  std::fputs("Flashing: ", client.out);
  std::fflush(client.out);
  int previous = 0;
  // An answer over another connection than the dialogue's comes from a device that went away
  // and came back (it flashed the image and restarted).
  const uint64_t dialogue_connection = requests.connections();
  int64_t last_answer = k::monotonic_ms();
  for (;;) {
    k::Message poll = k::msg_get_parameter_values(names);
    // A refused or unanswered poll is part of the flashing, not a failed command.
    int r = request_probe(client.session, poll, kProgressPollTimeoutMs);
    bool answered = r >= 0 || requests.socket_err() == k::kSockLoginLost;
    if (answered && requests.connections() != dialogue_connection)
      check_comeback(client, download);
    if (!answered) {
      // Away: flashing, restarting. Asked again until it answers or the wait is over.
      if (k::monotonic_ms() - last_answer > waits.comeback_wait_ms)
        fail(client, "Upgrade not confirmed: the device did not answer again within " +
                         std::to_string(waits.comeback_wait_ms / 1000) + " seconds.");
      pause(waits.pause_us);
      continue;
    }
    last_answer = k::monotonic_ms();
    if (!reply_ok(poll))
      fail(client, "Upgrade not confirmed: its progress cannot be read.", &poll);
    int progress = integer_value(listed_value(poll.result.get(), kProgressName));
    int status = integer_value(listed_value(poll.result.get(), kStatusName));
    if (status < 0)
      fail(client, "Upgrade failed: UpgradeStatus " + std::to_string(status) + ".");
    k::draw_progressbar(progress, kLabel, client.out);
    if (char mark = progress_mark(previous, progress)) {
      std::fputc(mark, client.out);
      std::fflush(client.out);
    }
    pause(waits.pause_us);
    previous = progress;
  }
}
