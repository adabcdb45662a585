#include "engine/behaviours.h"

#include <ctime>

#include "engine/engine.h"
#include "model/accounts.h"
#include "model/model_load.h"
#include "platform/text.h"

namespace sim {

namespace {

std::string text_of(const ValueMap& in, const char* name) {
  auto it = in.find(name);
  return it != in.end() && json_is_string(it->second.get()) ? json_string_value(it->second.get())
                                                              : std::string();
}

long long int_of(const ValueMap& in, const char* name, long long fallback) {
  auto it = in.find(name);
  return it != in.end() && json_is_integer(it->second.get()) ? json_integer_value(it->second.get())
                                                               : fallback;
}

k::Json integer(long long v) { return k::Json::take(json_integer(v)); }

std::string local_time_text() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char buf[40];
  size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S%z", &tm);
  // dateTime wants the offset as +hh:mm.
  if (n < 5) return std::string(buf, n);
  return std::string(buf, n - 2) + ":" + std::string(buf + n - 2, 2);
}

// A plausible ping: host names ending in ".invalid" (and the empty host) do not resolve; the
// round trip time is derived from the host text, so the same host always answers alike; replies
// slower than the timeout count as failures. Every output is set, so nothing of an earlier run
// is left behind.
bool ping(const ValueMap& in, ValueMap& out) {
  std::string host = text_of(in, "Host");
  long long count = int_of(in, "NumberOfRepetitions", 3);
  long long timeout = int_of(in, "Timeout", 1000);
  bool unresolvable = host.empty() || (host.size() >= 8 && host.ends_with(".invalid"));
  // Replies take from rtt - 1 (at least 1) to rtt + 2 ms; all arrive in time or none does.
  long long rtt = 1 + k::string_hash(host) % 40;
  bool answered = !unresolvable && rtt + 2 <= timeout;
  out["Status"] = k::json_str(unresolvable ? "Error_CannotResolveHostName" : "Complete");
  out["IPAddressUsed"] = k::json_str(unresolvable ? "" : "192.168.1.1");
  out["SuccessCount"] = integer(answered ? count : 0);
  out["FailureCount"] = integer(answered || unresolvable ? 0 : count);
  out["AverageResponseTime"] = integer(answered ? rtt : 0);
  out["MinimumResponseTime"] = integer(answered ? (rtt > 1 ? rtt - 1 : rtt) : 0);
  out["MaximumResponseTime"] = integer(answered ? rtt + 2 : 0);
  return true;
}

// Resets the counters of the target object (an interface's statistics) to zero.
bool interface_reset(Node& method, ValueMap& out) {
  if (Node* stats = handler_target(method)) {
    for (auto& c : stats->children)
      if (c->kind == NodeKind::kParameter && json_is_integer(c->value.get()))
        c->value = integer(0);
  }
  out["Status"] = k::json_str("Success");
  return true;
}

// Stores the requested debug mode in the target parameter. Turning debugging on takes the
// caller's own password again ("UserPassword"); turning it off does not.
bool debug_mode(const Caller& caller, Node& method, const ValueMap& in, ValueMap& out,
                Fault& fault) {
  std::string mode = text_of(in, "Mode");
  if (mode != "Disabled" && !password_matches(caller.password_hash, text_of(in, "UserPassword"))) {
    fault.code = kRequestDenied;
    fault.detail = "wrong password";
    return false;
  }
  Node* target = handler_target(method);
  if (target && target->kind == NodeKind::kParameter) target->value = k::json_str(mode);
  out["Status"] = k::json_str(mode == "Disabled" ? "Disabled" : "Enabled");
  return true;
}

}  // namespace

k::Json runtime_value(const Engine& engine, const Caller& caller, const Node& param) {
  if (param.handler == "uptime") return integer(engine.uptime_seconds());
  if (param.handler == "local_time") return k::json_str(local_time_text());
  if (param.handler == "secret") return k::json_str("");
  if (param.handler == "current_user") return k::json_str(caller.user);
  if (param.handler == "system_access") return k::Json::take(json_boolean(caller.system_access));
  if (param.handler == "count") {
    Node* table = handler_target(param);
    return integer(table && table->kind == NodeKind::kTable
                       ? static_cast<long long>(table->instances.size())
                       : 0);
  }
  return {};
}

bool run_method(Engine&, const Caller& caller, Node& method, const ValueMap& in, ValueMap& out,
                Fault& fault) {
  if (method.handler == "ping") return ping(in, out);
  if (method.handler == "interface_reset") return interface_reset(method, out);
  if (method.handler == "debug_mode") return debug_mode(caller, method, in, out, fault);
  return true;
}

}  // namespace sim
