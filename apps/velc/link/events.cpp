#include "link/events.h"

#include <cstdio>

#include "platform/printable.h"

void ChangeQueue::push(json_t* data) {
  json_t* change = json_pack("{s:O, s:O, s:O}", "Action", json_object_get(data, "Action"),
                             "Path", json_object_get(data, "Path"), "InstanceNumber",
                             json_object_get(data, "InstanceNumber"));
  if (!change) return;
  if (!changes_) changes_ = k::Json::take(json_array());
  json_array_append_new(changes_.get(), change);
}

int event_receive(Session& session, ChangeQueue& changes, bool escape,
                  const std::function<void()>& before_output) {
  auto output = [&] {
    if (before_output) before_output();
  };
  k::Connection& handle = session.events;
  auto m = handle.recv();
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
