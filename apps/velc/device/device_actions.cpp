#include "device/device_actions.h"

#include <cstdio>
#include <cstring>

#include "link/exchange.h"
#include "render/result_report.h"

namespace {

// Sends a device-wide request (no time-out: a device may take long to act) and prints its
// outcome. True when veld answered with a result.
bool send_and_report(CommandContext& client, k::Message m) {
  request_exchange(client.session, m, -1);
  report_result(m, client.colours, client.out);
  return reply_ok(m);
}

// Params with one text member, or none without the text.
k::Json text_member(const char* key, const char* text) {
  if (!text) return k::Json();
  k::Json params = k::Json::take(json_object());
  json_object_set_new(params.get(), key, json_string(text));
  return params;
}

}  // namespace

int cmd_reboot(CommandContext& client, const std::string& name, json_t* args) {
  auto syntax = [&name, &client] {
    std::fprintf(client.out, "syntax: %s [-f] [<DeviceMode>]\n", name.c_str());
    return -1;
  };
  if (json_array_size(args) > 2) return syntax();
  k::Json params = k::Json::take(json_object());
  size_t i;
  json_t* arg;
  json_array_foreach(args, i, arg) {
    const char* word = json_string_value(arg);
    if (!word) return syntax();
    if (std::strcmp(word, "-f") == 0) {
      json_object_set_new(params.get(), "Force", json_true());
    } else if (json_object_get(params.get(), "DeviceMode")) {
      return syntax();  // one mode at a time
    } else {
      json_object_set(params.get(), "DeviceMode", arg);
    }
  }
  if (!send_and_report(client, k::msg_create("Reboot", params))) return syntax();
  return 0;
}

int cmd_reset(CommandContext& client, const std::string& name, json_t* args) {
  if (json_array_size(args) >= 2) {
    std::fprintf(client.out, "syntax: %s <DeviceMode>\n", name.c_str());
    return -1;
  }
  k::Json params = text_member("DeviceMode", k::json_array_text(args, 0));
  send_and_report(client, k::msg_create("FactoryReset", params));
  return 0;
}

int cmd_save(CommandContext& client, const std::string&, json_t* args) {
  k::Json params = text_member("RestorePointName", k::json_array_text(args, 0));
  send_and_report(client, k::msg_create("SaveConfig", params));
  return 0;
}
