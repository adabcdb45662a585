// Messages arriving on the events connection: events of joined groups are printed, data-model
// change events are queued for the schema cache, and a lost connection ends the session.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "link/session.h"
#include "platform/json.h"

// What became of one instance through the changes received since the last hand-over.
enum class InstanceChange {
  kAdded,     // added (fetch it unless the cache holds it)
  kDeleted,   // deleted (drop it)
  kReplaced,  // deleted, then a new instance took its number (drop it and fetch it anew)
};

// The changes of one table, by instance number; `stale` when there were too many to track one
// by one, and the whole table is to be fetched anew when next used.
struct TableChanges {
  std::map<int, InstanceChange> instances;
  bool stale = false;
};

// Data-model change events received and not yet applied to the schema cache, coalesced by table
// and instance, so that a flood of events takes bounded memory and one fetch per table answers
// any number of its changes. Past kMaxTables tables everything is marked stale.
class ChangeQueue {
 public:
  static constexpr size_t kMaxInstances = 256;  // per table, before the table is marked stale
  static constexpr size_t kMaxTables = 64;      // before the whole cache is marked stale

  // Queues the change an event's data describes: {"Action": "Add" with the table's path, or
  // "Delete" with the instance's path; "InstanceNumber"}. Anything else is dropped.
  void push(json_t* data);
  // Hands over the queued changes by table path (with its trailing "."); the queue is then empty.
  std::map<std::string, TableChanges> take();
  // True when the queue overflowed: every cached table is to be fetched anew. take() clears it.
  bool all_stale() const { return all_stale_; }
  bool empty() const { return tables_.empty() && !all_stale_; }

 private:
  std::map<std::string, TableChanges> tables_;
  bool all_stale_ = false;
};

// Reads one message that has arrived on the session's events connection, never waiting for one
// (call it when the connection is readable), and handles it. 0, or -1 when the
// connection was lost (the session's running flag is then cleared and "Connection dropped"
// printed). `before_output` runs just before anything is printed (the shell moves the line being
// typed out of the way then; silent messages leave the screen untouched).
// With `escape`, the event's data is written with its control characters escaped (see
// printable.h).
int event_receive(Session& session, ChangeQueue& changes, bool escape,
                  const std::function<void()>& before_output = {});
