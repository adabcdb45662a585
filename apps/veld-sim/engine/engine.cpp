// The write operations and method execution of the engine.
#include "engine/engine.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "engine/behaviours.h"
#include "engine/caller_rights.h"
#include "model/model_load.h"
#include "model/relations.h"
#include "model/value_check.h"

namespace sim {

namespace {

k::Json object() { return k::Json::take(json_object()); }

// Failures of a set or execute, collected member by member.
struct Failures {
  k::Json data = object();
  int first_code = 0;
  size_t count = 0;

  void add(const std::string& name, int code) {
    if (count++ == 0) first_code = code;
    std::string text = fault_member_text(code);
    json_object_setn_new(data.get(), name.data(), name.size(), json_string(text.c_str()));
  }

  // One failing member gives its own code, several give 9003.
  Reply reply(const std::string& detail) const {
    return Reply::failure(count == 1 ? first_code : kInvalidArguments, detail, data);
  }
};

// The one node a schema path names, or a fault.
bool find_one(Node& root, std::string_view path, Target& target, Fault& fault) {
  std::vector<Target> found;
  if (!resolve(root, path, TemplateMode::kSchema, found, fault)) return false;
  target = std::move(found.front());
  return true;
}

// The values one SetParameterValues writes: for each parameter, the member that wins (the last
// one naming it) and its value.
using Writes = std::map<const Node*, std::pair<size_t, json_t*>>;

// True when the value member `index` gives a unique parameter clashes with the same parameter
// (by its element) of another instance of the table, as the request would leave them: a twin the
// request does not write keeps its value; a twin it writes counts with its new value, and only
// when that member comes earlier, so that of two members giving one value the later one fails.
bool taken_elsewhere(const Node& param, json_t* value, size_t index, const Writes& writes) {
  const Node* inst = param.parent;
  if (!inst || !inst->is_instance()) return false;
  if (json_is_string(value) && json_string_length(value) == 0) return false;
  for (const auto& [number, other] : inst->parent->instances) {
    if (other.get() == inst) continue;
    const Node* twin = other->child(param.name);
    if (!twin) continue;
    auto written = writes.find(twin);
    if (written == writes.end() ? json_equal(twin->value.get(), value)
                                : written->second.first < index &&
                                      json_equal(written->second.second, value))
      return true;
  }
  return false;
}

Reply no_right_to_delete(const std::string& path) {
  return Reply::failure(kRequestDenied, path + ": no right to delete instances");
}

}  // namespace

Reply Reply::failure(int code, std::string detail, k::Json data) {
  Reply r;
  r.fault.code = code;
  r.fault.detail = std::move(detail);
  r.fault.data = std::move(data);
  return r;
}

k::Json Reply::result_json() const {
  return result_text.empty() ? result : k::json_parse(result_text);
}

Reply Reply::listing(std::string text) {
  Reply r;
  r.result_text = std::move(text);
  return r;
}

Reply Reply::status_ok() {
  Reply r;
  r.result = object();
  json_object_set_new(r.result.get(), "Status", json_integer(0));
  return r;
}

Engine::Engine(std::unique_ptr<Node> root, Accounts accounts)
    : root_(std::move(root)),
      accounts_(std::move(accounts)),
      started_(std::chrono::steady_clock::now()) {}

long long Engine::uptime_seconds() const {
  auto elapsed = std::chrono::steady_clock::now() - started_;
  return std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
}

k::Json Engine::read_value(const Caller& caller, const Node& param) const {
  if (!param.handler.empty())
    if (k::Json v = runtime_value(*this, caller, param)) return v;
  return param.value ? param.value : k::Json::take(json_null());
}

void Engine::emit(unsigned group, k::Json data) {
  if (sink_) sink_(group, std::move(data));
}

Reply Engine::set_parameter_values(const Caller& caller, const std::vector<NamedValue>& list,
                                   bool raw) {
  Failures failures;
  // Members that pass their own checks, in request order; uniqueness is judged on them all.
  std::vector<std::tuple<size_t, Node*, k::Json>> checked;
  for (size_t index = 0; index < list.size(); ++index) {
    const NamedValue& member = list[index];
    Target t;
    Fault fault;
    if (!find_one(*root_, member.name, t, fault)) {
      failures.add(member.name, kInvalidName);
      continue;
    }
    Node& n = *t.node;
    if (t.pseudo == Pseudo::kNone && n.kind != NodeKind::kParameter) {
      failures.add(member.name, kInvalidName);
      continue;
    }
    if (t.pseudo == Pseudo::kNone && (n.in_template() || n.in_input())) {
      failures.add(member.name, kInvalidName);  // schema, not a value
      continue;
    }
    if (t.pseudo != Pseudo::kNone || !is_writable_parameter(n)) {
      failures.add(member.name, kNotWritable);
      continue;
    }
    if (!has_right(caller, t.path, kRightWrite)) {
      failures.add(member.name, kRequestDenied);
      continue;
    }
    k::Json given = member.value;
    if (raw && json_is_string(given.get())) {
      given = value_from_text(n.attr.get(), std::string_view(json_string_value(given.get()),
                                                              json_string_length(given.get())));
      if (!given) {
        failures.add(member.name, kInvalidValue);
        continue;
      }
    }
    k::Json stored;
    if (int code = check_value(n.attr.get(), given.get(), stored)) {
      failures.add(member.name, code);
      continue;
    }
    checked.emplace_back(index, &n, std::move(stored));
  }
  Writes writes;
  for (auto& [index, node, value] : checked) writes[node] = {index, value.get()};
  for (auto& [index, node, value] : checked) {
    // A member overridden by a later one for the same parameter never lands: not judged.
    if (writes[node].first != index || !attr_bool(*node, "unique")) continue;
    if (taken_elsewhere(*node, value.get(), index, writes))
      failures.add(list[index].name, kInvalidValue);
  }
  if (failures.count) return failures.reply("no parameter was changed");
  for (auto& [index, node, value] : checked)
    node->value = k::Json::take(json_deep_copy(value.get()));
  return Reply::status_ok();
}

Reply Engine::add_object(const Caller& caller, std::string_view table_path) {
  Target t;
  Fault fault;
  if (!find_one(*root_, table_path, t, fault)) return Reply{{}, fault};
  Node& table = *t.node;
  if (table.kind != NodeKind::kTable || table.in_template())
    return Reply::failure(kInvalidName, t.path + ": not a table");
  if (!is_writable_table(table))
    return Reply::failure(kRequestDenied, t.path + ": instances cannot be added");
  if (!has_right(caller, t.path, kRightAdd))
    return Reply::failure(kRequestDenied, t.path + ": no right to add instances");
  long long max_count = attr_int(table, "maxCount", -1);
  if ((max_count >= 0 && static_cast<long long>(table.instances.size()) >= max_count) ||
      table.max_instance == UINT32_MAX)
    return Reply::failure(kResourcesExceeded, t.path + ": the table is full");
  uint32_t number = table.max_instance + 1;
  add_instance(table, number);

  k::Json data = object();
  json_object_set_new(data.get(), "Action", json_string("Add"));
  json_object_set_new(data.get(), "Path", json_stringn(t.path.data(), t.path.size()));
  json_object_set_new(data.get(), "InstanceNumber", json_integer(number));
  emit(kChangeEventGroup, data);

  Reply r;
  r.result = object();
  json_object_set_new(r.result.get(), "InstanceNumber", json_integer(number));
  json_object_set_new(r.result.get(), "Status", json_integer(0));
  return r;
}

Reply Engine::delete_object(const Caller& caller, std::string_view instance_path) {
  Target t;
  Fault fault;
  if (!find_one(*root_, instance_path, t, fault)) return Reply{{}, fault};
  Node& inst = *t.node;
  if (t.pseudo != Pseudo::kNone || !inst.is_instance())
    return Reply::failure(kInvalidName, t.path + ": not an instance");
  Node& table = *inst.parent;
  if (!is_writable_table(table))
    return Reply::failure(kRequestDenied, t.path + ": instances cannot be deleted");
  if (!has_right(caller, t.path, kRightDelete)) return no_right_to_delete(t.path);
  if (static_cast<long long>(table.instances.size()) <= attr_int(table, "minCount", 0))
    return Reply::failure(kRequestDenied, t.path + ": the table holds its minimum of instances");
  RelationEffects effects;
  if (!plan_delete(*root_, table, t.path, effects, fault)) return Reply{{}, fault};
  for (const std::string& path : effects.cascade)
    if (!has_right(caller, path, kRightDelete)) return no_right_to_delete(path);

  for (Node* param : effects.clear) clear_reference(*param, t.path);
  remove_and_announce(table, inst, t.path);
  // Instances that depended on the deleted one go too; one may already have gone with another.
  for (const std::string& path : effects.cascade) {
    std::vector<Target> found;
    Fault gone;
    if (resolve(*root_, path, TemplateMode::kSchema, found, gone) && found.front().node->is_instance())
      remove_and_announce(*found.front().node->parent, *found.front().node, path);
  }
  return Reply::status_ok();
}

void Engine::remove_and_announce(Node& table, Node& inst, const std::string& path) {
  uint32_t number = 0;
  parse_instance_number(inst.name, number);
  remove_instance(table, number);
  k::Json data = object();
  json_object_set_new(data.get(), "Action", json_string("Delete"));
  json_object_set_new(data.get(), "Path", json_stringn(path.data(), path.size()));
  json_object_set_new(data.get(), "InstanceNumber", json_integer(number));
  emit(kChangeEventGroup, data);
}

Reply Engine::change_order(const Caller& caller, std::string_view instance_path,
                           long long position) {
  Target t;
  Fault fault;
  if (!find_one(*root_, instance_path, t, fault)) return Reply{{}, fault};
  Node& inst = *t.node;
  if (t.pseudo != Pseudo::kNone || !inst.is_instance() || !is_ordered(*inst.parent))
    return Reply::failure(kInvalidName, t.path + ": not an instance of an ordered table");
  if (position < 1) return Reply::failure(kInvalidArguments, "Order must be 1 or more");
  if (!has_right(caller, t.path, kRightWrite))
    return Reply::failure(kRequestDenied, t.path + ": no right to change the order");
  std::vector<uint32_t>& order = inst.parent->order;
  uint32_t number = 0;
  parse_instance_number(inst.name, number);
  std::erase(order, number);
  size_t at = std::min(static_cast<size_t>(position - 1), order.size());
  order.insert(order.begin() + static_cast<std::ptrdiff_t>(at), number);
  return Reply::status_ok();
}

Reply Engine::execute(const Caller& caller, std::string_view method_path,
                      const std::vector<NamedValue>& arguments) {
  Target t;
  Fault fault;
  if (!find_one(*root_, method_path, t, fault)) return Reply{{}, fault};
  Node& method = *t.node;
  if (t.pseudo != Pseudo::kNone || method.kind != NodeKind::kMethod || method.in_template())
    return Reply::failure(kInvalidName, t.path + ": not a method");
  if (!has_right(caller, t.path, kRightExecute))
    return Reply::failure(kRequestDenied, t.path + ": no right to execute");

  ValueMap in;
  for (const auto& arg : method.input->children) in[arg->name] = arg->value;
  Failures failures;
  std::string prefix = t.path + ".#input.";
  for (const NamedValue& a : arguments) {
    std::string_view name = a.name;
    if (name.starts_with(prefix)) name.remove_prefix(prefix.size());
    Node* arg = method.input->child(name);
    if (!arg) {
      // 9005 would say the method is missing: an unknown argument is a bad argument list.
      failures.add(a.name, kInvalidArguments);
      continue;
    }
    k::Json stored;
    if (int code = check_value(arg->attr.get(), a.value.get(), stored)) {
      failures.add(a.name, code);
      continue;
    }
    in[arg->name] = stored;
  }
  if (failures.count) return failures.reply("the method was not run");

  ValueMap out;
  if (!run_method(*this, caller, method, in, out, fault)) return Reply{{}, fault};
  k::Json list = k::Json::take(json_array());
  for (auto& output : method.children) {
    auto it = out.find(output->name);
    if (it != out.end()) output->value = it->second;
    std::string name = t.path + "." + output->name;
    json_t* e = json_object();
    json_object_set_new(e, "Name", json_stringn(name.data(), name.size()));
    json_object_set_new(e, "Value", read_value(caller, *output).release());
    json_array_append_new(list.get(), e);
  }
  Reply r;
  r.result = object();
  json_object_set(r.result.get(), "ParameterList", list.get());
  return r;
}

}  // namespace sim
