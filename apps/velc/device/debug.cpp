#include "device/debug.h"

#include <strings.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <optional>

#include "link/exchange.h"
#include "platform/password_prompt.h"
#include "render/result_report.h"

namespace {

// The modes as veld spells them.
constexpr const char* kModes[] = {"Disabled", "Temporary", "Permanent"};

// The mode named by `word` (case aside), or none.
const char* mode_of(const char* word) {
  if (!word) return nullptr;
  for (const char* mode : kModes)
    if (strcasecmp(word, mode) == 0) return mode;
  return nullptr;
}

json_t* argument(const char* name, const std::string& value) {
  return json_pack("{s:s, s:s%}", "Name", name, "Value", value.data(), value.size());
}

}  // namespace

int cmd_debug(CommandContext& client, const std::string&, json_t* args) {
  const char* mode = mode_of(k::json_array_text(args, 0));
  if (!mode) {
    // The line names the words, so that a wrong one can be put right without the manual.
    std::fprintf(client.out, "syntax: change system debug mode: %s|%s|%s\n", kModes[0], kModes[1],
                 kModes[2]);
    return -1;
  }
  // Switching debugging off needs no proof of who the user is; switching it on does.
  std::optional<std::string> password;
  if (mode != kModes[0]) password = k::password_prompt("[velc] password for current user: ");

  k::Json list = k::Json::take(json_array());
  json_array_append_new(list.get(), argument("Mode", mode));
  if (password) json_array_append_new(list.get(), argument("UserPassword", *password));
  k::Message m = k::msg_execute("Device.System.Debug", std::move(list));
  request_exchange(client.session, m, -1);
  report_result(m, client.colours, client.out);
  if (reply_ok(m)) {
    std::fprintf(client.out, "You must log out and log back in for the changes to take effect.\n");
    std::fflush(client.out);
    kill(getppid(), SIGHUP);
  }
  return 0;
}
