// Messages arriving on the events connection: events of joined groups are printed, data-model
// change events are queued for the schema cache, and a lost connection ends the program's loops.
#pragma once

#include "platform/json.h"

// True until the events connection is lost; the shell loop and listen mode run while it is.
extern volatile bool running_flag;

// Reads one message from the events handle and handles it. 0, or -1 when the connection was lost
// (the running flag is then cleared and "Connection dropped" printed).
int event_receive();
// Hands over the queued data-model change events (a JSON array, or none when there are none).
k::Json take_pending_changes();
