#include "link/events.h"

#include <cstdio>

#include "platform/printable.h"
#include "platform/tr.h"

void ChangeQueue::push(json_t* data) {
  const char* action = nullptr;
  const char* path = nullptr;
  int instance = 0;
  if (json_unpack(data, "{s:s, s:s, s:i}", "Action", &action, "Path", &path, "InstanceNumber",
                  &instance) != 0 ||
      instance <= 0 || all_stale_)
    return;
  std::string table = path;
  bool add = std::string_view(action) == "Add";
  if (!add && std::string_view(action) != "Delete") return;
  if (!add) table = k::tr_parent_path(table);  // a deleted instance is named by its own path
  if (!k::tr_path_is_partial(table)) table += '.';
  if (tables_.size() >= kMaxTables && !tables_.count(table)) {
    tables_.clear();
    all_stale_ = true;
    return;
  }
  TableChanges& changes = tables_[table];
  if (changes.stale) return;
  auto [it, first] = changes.instances.try_emplace(instance, add ? InstanceChange::kAdded
                                                                 : InstanceChange::kDeleted);
  if (!first) {
    it->second = !add ? InstanceChange::kDeleted
                 : it->second == InstanceChange::kAdded ? InstanceChange::kAdded
                                                        : InstanceChange::kReplaced;
  }
  if (changes.instances.size() > kMaxInstances) {
    changes.instances.clear();
    changes.stale = true;
  }
}

std::map<std::string, TableChanges> ChangeQueue::take() {
  all_stale_ = false;
  return std::exchange(tables_, {});
}

int event_receive(Session& session, ChangeQueue& changes, bool escape,
                  const std::function<void()>& before_output) {
  auto output = [&] {
    if (before_output) before_output();
  };
  k::Connection& handle = session.events;
  // Called when the connection has something to read: what has arrived is taken, and nothing
  // is waited for, so the keyboard is served again at once. Only a reply that comes after its
  // request gave up (a JoinGroup at start-up answered late) may be all there is; a wait for
  // another message then would hold the shell for the handle's whole time-out.
  auto m = handle.recv(0);
  if (!m) {
    int e = handle.socket_err();
    // A message too long to take is skipped; the connection goes on.
    if (e == k::kSockTimeout || e == k::kSockNoData || e == k::kSockTooLarge) return 0;
    session.running = false;
    output();
    std::puts("Connection dropped");
    return -1;
  }
  if (m->kind != k::kMsgEvent || m->event_id == 0) return 0;
  if (m->event_id == k::kChangeEventGroup) {
    changes.push(m->params.get());
    return 0;
  }
  output();
  std::printf("\nEVENT %u:\n", m->event_id);
  if (m->params) {
    k::put_text(k::json_dump(m->params.get(), JSON_ENCODE_ANY | JSON_INDENT(4)), escape);
    std::fputs("\n", stdout);
  }
  std::fflush(stdout);
  return 0;
}
