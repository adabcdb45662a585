#include "transfer/firmware_dialogue.h"

#include <cstdio>
#include <strings.h>

#include "device/device_actions.h"
#include "link/exchange.h"
#include "transfer/firmware_version.h"
#include "transfer/line_prompt.h"

namespace {

// The configuration back to its defaults before the new image runs.
void reset_config(CommandContext& client) {
  std::fputs("Resetting config...\n", client.out);
  cmd_reset(client, "", nullptr);
}

// Sends a Download request whose reply nobody examines (the confirmation and the cancellation:
// veld goes on, or not, whatever it answers).
void send_unexamined(CommandContext& client, const k::Json& params) {
  k::Message m = k::msg_create("Download", params);
  request_exchange(client.session, m, -1);
}

}  // namespace

VersionStep version_step(int cmp) {
  using enum VersionNext;
  switch (cmp) {
    case 1: return {"Build", "upgrade", kConfirm};
    case -1: return {"Build", "downgrade", kConfirm};
    case 2: return {"Minor", "upgrade", kConfirm};
    case -2: return {"Minor", "downgrade", kConfirm};
    case 3: return {"Major", "upgrade", kAsk};
    case -3: return {"Major", "downgrade", kAsk};
    case k::kVersionIncomparable:
    case -k::kVersionIncomparable: return {nullptr, nullptr, kResetConfirm};
    default: return {nullptr, nullptr, kConfirm};
  }
}

ResetAnswer reset_answer(const std::optional<std::string>& line) {
  if (!line) return ResetAnswer::kNo;
  if (strcasecmp(line->c_str(), "c") == 0) return ResetAnswer::kCancel;
  if (strcasecmp(line->c_str(), "y") == 0) return ResetAnswer::kYes;
  return ResetAnswer::kNo;
}

int firmware_dialogue(CommandContext& client, const k::Json& params, const k::Message& download,
                      const ProgressWaits& waits) {
  json_t* reply = download.result.get();
  json_t* status = json_object_get(reply, "Status");
  // Status 0: the image is the running one and the device flashes it at once.
  bool flashing = json_is_integer(status) && json_integer_value(status) == 0;
  int cmp = flashing ? 0
                     : k::firmware_version_cmp(k::json_text(reply, "CurrentVersion"),
                                               k::json_text(reply, "NewVersion"));
  if (cmp != 0) {
    VersionStep step = version_step(cmp);
    if (step.level) std::fprintf(client.out, "%s %s...\n", step.level, step.direction);
    json_t* transaction = json_object_get(reply, "TransactionID");
    if (step.next == VersionNext::kResetConfirm) reset_config(client);
    if (step.next == VersionNext::kAsk) {
      ResetAnswer answer = reset_answer(k::prompt_line("Reset config[(N)o/(y)es/(c)ancel] "));
      if (answer == ResetAnswer::kCancel) {
        json_object_clear(params.get());
        json_object_set_new(params.get(), "FileType", json_string("Firmware"));
        if (transaction) json_object_set(params.get(), "TransactionID", transaction);
        send_unexamined(client, params);
        return 0;
      }
      if (answer == ResetAnswer::kYes) reset_config(client);
    }
    // Confirm: veld flashes the image it saved.
    std::string saved = "file://" + k::json_text(reply, "SavedFirmware");
    json_object_set_new(params.get(), "URL", json_stringn(saved.data(), saved.size()));
    if (transaction) json_object_set(params.get(), "TransactionID", transaction);
    send_unexamined(client, params);
  }
  progress_display(client, download, waits);
}
