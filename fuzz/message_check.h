// The checks a parsed protocol message must pass, shared by the reader and connection targets.
#pragma once

#include <cstdint>
#include <string>

#include "check.h"
#include "platform/jrpc_message.h"

namespace fuzz {

inline bool same_json(const k::Json& a, const k::Json& b) {
  return (!a && !b) || (a && b && json_equal(a.get(), b.get()));
}

// Checks a message that msg_parse made from `source`: its kind is one of the five, an event's
// id is the EventId sent, and its wire form reads back as the same message.
inline void check_message(const k::Message& m, json_t* source) {
  FUZZ_CHECK(m.kind >= k::kMsgRequest && m.kind <= k::kMsgResult, "kind %d", m.kind);
  if (m.kind == k::kMsgEvent) {
    json_t* event_id = json_object_get(json_object_get(source, "params"), "EventId");
    FUZZ_CHECK(json_integer_value(event_id) == json_int_t(m.event_id),
               "EventId %" JSON_INTEGER_FORMAT " was read as %u", json_integer_value(event_id),
               m.event_id);
  }
  // "id": null with a method reads as a request without id, whose wire form has no id: it
  // would go out as a notification (or, named "Event", as an event without an EventId).
  if (m.kind == k::kMsgRequest && !m.id) return;
  k::Json wire = m.to_json();
  auto again = k::msg_parse(wire.get());
  std::string text = k::json_dump(wire.get(), JSON_COMPACT);
  FUZZ_CHECK(again, "the wire form %s is no message", text.c_str());
  FUZZ_CHECK(again->kind == m.kind && again->method == m.method && same_json(again->id, m.id) &&
                 same_json(again->params, m.params) && same_json(again->result, m.result) &&
                 again->error_code == m.error_code &&
                 again->error_message.value_or("") == m.error_message.value_or("") &&
                 again->error_detail == m.error_detail &&
                 same_json(again->error_data, m.error_data) && again->event_id == m.event_id,
             "the wire form %s reads back as another message", text.c_str());
}

}  // namespace fuzz
