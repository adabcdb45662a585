// The flashing progress of a firmware upgrade: the client polls veld's upgrade progress and
// status and prints one mark for every two percent, until veld stops answering (the device went
// away to flash the image and restart) or reports a failure; then the client ends.
#pragma once

#include <unistd.h>

#include "datamodel/client.h"
#include "platform/jrpc_message.h"

// Microseconds between two polls.
inline constexpr useconds_t kProgressPollPauseUs = 100000;
// Milliseconds a poll waits for veld's answer.
inline constexpr int kProgressPollTimeoutMs = 1000;

// The mark printed when the progress goes from `previous` to `progress` percent: none ('\0')
// while progress/2 stays the same, '@' when progress/10 changes too (a new ten), '*' otherwise.
char progress_mark(int previous, int progress);

// Prints "Flashing: " and the marks of the polled progress (with the bar on a terminal, see
// platform/progressbar.h), then the full bar, a newline and the outcome of `download` (the
// firmware's "Download" reply). Never returns: it ends the client with status 0 by throwing
// k::ExitRequest. Ctrl-C ends it with k::Interrupted.
[[noreturn]] void progress_display(Client& client, const k::Message& download,
                                   useconds_t pause_us = kProgressPollPauseUs);
