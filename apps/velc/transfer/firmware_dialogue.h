// The firmware upgrade's dialogue with veld after it accepted the image: the version comparison
// and its message, for a major change the question whether to reset the configuration, the
// confirming (or cancelling) request, and the flashing progress.
#pragma once

#include <optional>
#include <string>

#include "datamodel/context.h"
#include "platform/jrpc_message.h"
#include "transfer/progress.h"

// What follows the version message.
enum class VersionNext {
  kConfirm,       // send the confirming request
  kAsk,           // ask whether to reset the configuration, then confirm or cancel
  kResetConfirm,  // reset the configuration, then confirm
};

// How the client answers a version comparison (k::firmware_version_cmp): the message's two
// words ("Build", "upgrade"; none for no message) and what follows.
struct VersionStep {
  const char* level = nullptr;
  const char* direction = nullptr;
  VersionNext next = VersionNext::kConfirm;
};
VersionStep version_step(int cmp);

// The answers to "Reset config[(N)o/(y)es/(c)ancel] ".
enum class ResetAnswer { kNo, kYes, kCancel };
// The whole line, without regard to case: "c" cancels, "y" resets; anything else (no line, an
// empty line, "n", a whole word such as "yes") confirms without a reset.
ResetAnswer reset_answer(const std::optional<std::string>& line);

// Runs the dialogue. `params` are the Download parameters (changed and sent again for the
// confirming or cancelling request), `download` the firmware's accepted "Download" exchange.
// Gives 0 when the upgrade was cancelled; otherwise ends in progress_display, which ends the
// client with the upgrade's outcome.
int firmware_dialogue(CommandContext& client, const k::Json& params, const k::Message& download,
                      const ProgressWaits& waits = {});
