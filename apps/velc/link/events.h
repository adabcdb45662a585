// Messages arriving on the events connection: events of joined groups are printed, data-model
// change events are queued for the schema cache, and a lost connection ends the session.
#pragma once

#include <functional>

#include "link/session.h"
#include "platform/json.h"

// Data-model change events received and not yet applied to the schema cache, oldest first:
// each is {"Action", "Path", "InstanceNumber"} as veld sent them.
class ChangeQueue {
 public:
  // Queues the change an event's data describes; data lacking one of the three members is
  // dropped.
  void push(json_t* data);
  // Hands over the queued changes (a JSON array), or none when there are none; the queue is
  // then empty.
  k::Json take() { return std::exchange(changes_, k::Json()); }

 private:
  k::Json changes_;
};

// Reads one message from the session's events connection and handles it. 0, or -1 when the
// connection was lost (the session's running flag is then cleared and "Connection dropped"
// printed). `before_output` runs just before anything is printed (the shell moves the line being
// typed out of the way then; silent messages leave the screen untouched).
// With `escape`, the event's data is written with its control characters escaped (see
// printable.h).
int event_receive(Session& session, ChangeQueue& changes, bool escape,
                  const std::function<void()>& before_output = {});
