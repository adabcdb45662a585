// Messages arriving on the events connection: events of joined groups are printed, data-model
// change events are queued for the schema cache, and a lost connection ends the program's loops.
#pragma once

#include <functional>

#include "platform/json.h"

// True until the events connection is lost; the shell loop and listen mode run while it is.
extern volatile bool running_flag;

// Reads one message from the events handle and handles it. 0, or -1 when the connection was lost
// (the running flag is then cleared and "Connection dropped" printed). `before_output` runs just
// before anything is printed (the shell moves the line being typed out of the way then; silent
// messages leave the screen untouched).
int event_receive(const std::function<void()>& before_output = {});
// Hands over the queued data-model change events (a JSON array, or none when there are none).
k::Json take_pending_changes();
