#include "model/handlers.h"

#include "model/model_load.h"

namespace sim {

namespace {

constexpr HandlerInfo kHandlers[] = {
    {"uptime", false, TargetKind::kNone},
    {"local_time", false, TargetKind::kNone},
    {"secret", false, TargetKind::kNone},
    {"count", false, TargetKind::kTable},
    {"current_user", false, TargetKind::kNone},
    {"system_access", false, TargetKind::kNone},
    {"ping", true, TargetKind::kNone},
    {"interface_reset", true, TargetKind::kObject},
    {"debug_mode", true, TargetKind::kParameter},
};

}  // namespace

const HandlerInfo* find_handler(std::string_view name) {
  for (const HandlerInfo& h : kHandlers)
    if (name == h.name) return &h;
  return nullptr;
}

Node* handler_target(const Node& n) {
  Node* base = n.parent;
  std::string_view rest = n.handler_arg;
  while (base && !rest.empty()) {
    size_t dot = rest.find('.');
    std::string_view element = rest.substr(0, dot);
    rest = dot == std::string_view::npos ? std::string_view() : rest.substr(dot + 1);
    uint32_t number;
    if (base->kind == NodeKind::kTable && parse_instance_number(element, number))
      base = base->instance(number);
    else
      base = base->child(element);
  }
  return n.handler_arg.empty() ? nullptr : base;
}

}  // namespace sim
