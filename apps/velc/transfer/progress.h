// The flashing progress of a firmware upgrade and its outcome: the client polls veld's upgrade
// progress and status and prints one mark for every two percent. The device then goes away to
// flash the image and restart; when it answers again (on a new connection) the client reads the
// version it runs and ends, with status 0 only when that is the new version.
#pragma once

#include <unistd.h>

#include "datamodel/context.h"
#include "platform/jrpc_message.h"

// Microseconds between two polls.
inline constexpr useconds_t kProgressPollPauseUs = 100000;
// Milliseconds a poll waits for veld's answer.
inline constexpr int kProgressPollTimeoutMs = 1000;
// Milliseconds the display waits for a device that stopped answering (it is flashing and
// restarting) to answer again before it gives up.
inline constexpr int kComebackWaitMs = 300000;

// The waits of the display: production uses the defaults; tests shorten them.
struct ProgressWaits {
  useconds_t pause_us = kProgressPollPauseUs;  // between two polls
  int comeback_wait_ms = kComebackWaitMs;      // for the device to answer again
};

// The mark printed when the progress goes from `previous` to `progress` percent: none ('\0')
// while progress/2 stays the same, '@' when progress/10 changes too (a new ten), '*' otherwise.
char progress_mark(int previous, int progress);

// Prints "Flashing: " and the marks of the polled progress on the client's stream (with the bar
// when that is a terminal, see transfer/progressbar.h) until the upgrade ends, then a newline and
// its outcome. `download` is
// the firmware's accepted "Download" exchange: its "NewVersion" is the version the device must
// come back with. Never returns; it ends the client by throwing k::ExitRequest:
// - status 0: the device came back running the new version (or veld named none): the full bar
//   and the download's outcome ("Status: OK");
// - status -1, after a line that says why: "UpgradeStatus" turned negative (the value is
//   printed), the device came back with another version, its version or the progress cannot be
//   read (veld's error follows), or it did not answer again within the wait.
// Ctrl-C ends it with k::Interrupted.
[[noreturn]] void progress_display(CommandContext& client, const k::Message& download,
                                   const ProgressWaits& waits = {});
