#include "entry/events.h"

#include <cstdio>

#include "entry/exchange.h"

volatile bool running_flag = true;

namespace {

// Data-model change events not yet applied to the schema cache.
k::Json pending_changes;

constexpr unsigned kChangeGroup = 4;

void queue_change(json_t* params) {
  json_t* change = json_pack("{s:O, s:O, s:O}", "Action", json_object_get(params, "Action"),
                             "Path", json_object_get(params, "Path"), "InstanceNumber",
                             json_object_get(params, "InstanceNumber"));
  if (!change) return;  // an event without one of the three members is dropped
  if (!pending_changes) pending_changes = k::Json::take(json_array());
  json_array_append_new(pending_changes.get(), change);
}

}  // namespace

int event_receive(const std::function<void()>& before_output) {
  auto output = [&] {
    if (before_output) before_output();
  };
  k::Connection& handle = events_handle();
  auto m = handle.recv();
  if (!m) {
    int e = handle.socket_err();
    if (e == k::kSockTimeout || e == k::kSockNoData) return 0;
    running_flag = false;
    output();
    std::puts("Connection dropped");
    return -1;
  }
  if (m->kind != k::kMsgEvent || m->event_id == 0) return 0;
  if (m->event_id == kChangeGroup) {
    queue_change(m->params.get());
    return 0;
  }
  output();
  std::printf("\nEVENT %u:\n", m->event_id);
  if (m->params)
    std::printf("%s\n", k::json_dump(m->params.get(), JSON_ENCODE_ANY | JSON_INDENT(4)).c_str());
  std::fflush(stdout);
  return 0;
}

k::Json take_pending_changes() { return std::exchange(pending_changes, k::Json()); }
