// The device-wide methods of the engine (Reboot, FactoryReset, SaveConfig) and the building of
// the running tree at start and after a reboot.
#include <utility>

#include "engine/engine.h"
#include "model/saved_config.h"
#include "model/value_check.h"

namespace sim {

namespace {

constexpr const char* kDeviceModePath = "Device.DeviceInfo.DeviceMode";

Node* device_mode_parameter(Node& root) {
  std::vector<Target> found;
  Fault fault;
  if (!resolve(root, kDeviceModePath, TemplateMode::kSchema, found, fault)) return nullptr;
  Node* n = found.front().node;
  return found.front().pseudo == Pseudo::kNone && n->kind == NodeKind::kParameter ? n : nullptr;
}

// Gives Device.DeviceInfo.DeviceMode a mode already checked against it.
void set_device_mode(Node& root, const std::optional<std::string>& mode) {
  Node* param = mode ? device_mode_parameter(root) : nullptr;
  k::Json stored;
  if (param && check_value(param->attr.get(), k::json_str(*mode).get(), stored) == 0)
    param->value = stored;
}

k::Json change_event(const char* action, const std::string& path, uint32_t number) {
  k::Json data = k::Json::take(json_object());
  json_object_set_new(data.get(), "Action", json_string(action));
  json_object_set_new(data.get(), "Path", json_stringn(path.data(), path.size()));
  json_object_set_new(data.get(), "InstanceNumber", json_integer(number));
  return data;
}

// The change events that take a client's view of `before` to `after` (two trees of one
// model): "Delete" for each instance only `before` has, "Add" for each only `after` has, table
// by table in model order. What lies inside such an instance goes or comes with it.
void instance_changes(const Node& before, const Node& after, std::vector<k::Json>& events) {
  if (before.kind == NodeKind::kTable) {
    std::string table = node_path(after);
    for (uint32_t number : instance_numbers(before))
      if (!after.instance(number))
        events.push_back(change_event("Delete", table + std::to_string(number) + ".", number));
    for (uint32_t number : instance_numbers(after))
      if (!before.instance(number)) events.push_back(change_event("Add", table, number));
    for (uint32_t number : instance_numbers(after))
      if (const Node* old = before.instance(number))
        instance_changes(*old, *after.instance(number), events);
    return;
  }
  for (const auto& c : before.children)
    if (c->is_object_like())
      if (const Node* twin = after.child(c->name)) instance_changes(*c, *twin, events);
}

}  // namespace

Engine::Engine(DeviceSetup setup, Accounts accounts)
    : root_(std::make_unique<Node>()),
      accounts_(std::move(accounts)),
      started_(std::chrono::steady_clock::now()),
      setup_(std::move(setup)) {}

bool Engine::boot(std::string& error, const std::optional<std::string>& device_mode) {
  bool ok = true;
  if (setup_.factory) {
    auto fresh = setup_.factory(error);
    if (!fresh) return false;
    if (!setup_.state_dir.empty() && !load_saved_config(setup_.state_dir, *fresh, error)) {
      // Half laid over: the device comes up as the model file has it instead.
      ok = false;
      std::string ignored;
      fresh = setup_.factory(ignored);
      if (!fresh) return false;
    }
    root_ = std::move(fresh);
  }
  std::string why;
  if (!apply_installed_version(*root_, why)) {
    error = why;
    ok = false;
  }
  set_upgrade_state(0, 0);  // a device comes up idle, whatever an upgrade left
  set_device_mode(*root_, device_mode);
  started_ = std::chrono::steady_clock::now();
  return ok;
}

std::optional<Reply> Engine::check_device_mode(const std::string& mode) const {
  Node* param = device_mode_parameter(*root_);
  if (!param)
    return Reply::failure(kInvalidValue,
                          std::string("DeviceMode: the model has no ") + kDeviceModePath);
  k::Json stored;
  std::string why;
  if (check_value(param->attr.get(), k::json_str(mode).get(), stored, &why) == 0)
    return std::nullopt;
  std::string allowed;
  size_t i;
  json_t* e;
  json_array_foreach(json_object_get(param->attr.get(), "enum"), i, e)
    if (json_is_string(e))
      allowed += (allowed.empty() ? "" : ", ") + std::string(json_string_value(e));
  return Reply::failure(kInvalidValue, "DeviceMode \"" + mode + "\": " + why +
                                           (allowed.empty() ? "" : " (" + allowed + ")"));
}

Reply Engine::reboot(const std::optional<std::string>& device_mode, bool force) {
  if (device_mode)
    if (auto bad = check_device_mode(*device_mode)) return *bad;
  // A second Reboot before the first is carried out joins it: its mode counts, and Force stays.
  RebootRequest request = pending_reboot_.value_or(RebootRequest{});
  if (device_mode) request.device_mode = device_mode;
  request.force = request.force || force;
  pending_reboot_ = std::move(request);
  return Reply::status_ok();
}

Reply Engine::factory_reset(const std::optional<std::string>& device_mode) {
  if (device_mode)
    if (auto bad = check_device_mode(*device_mode)) return *bad;
  if (!setup_.factory)
    return Reply::failure(kInternalError, "the device has no factory model to go back to");
  std::string error;
  auto fresh = setup_.factory(error);
  if (!fresh) return Reply::failure(kInternalError, error);
  if (!setup_.state_dir.empty() && !erase_saved_config(setup_.state_dir, error))
    return Reply::failure(kInternalError, error);
  set_device_mode(*fresh, device_mode);
  // A factory reset keeps the installed firmware.
  std::string ignored;
  apply_installed_version(*fresh, ignored);
  replace_root(std::move(fresh));
  return Reply::status_ok();
}

void Engine::replace_root(std::unique_ptr<Node> fresh) {
  std::unique_ptr<Node> before = std::exchange(root_, std::move(fresh));
  std::vector<k::Json> events;
  instance_changes(*before, *root_, events);
  for (k::Json& e : events) emit(kChangeEventGroup, std::move(e));
}

Reply Engine::save_config(const std::optional<std::string>& restore_point) {
  const std::string& dir = setup_.state_dir;
  if (dir.empty())
    return Reply::failure(kInternalError, "veld-sim runs without --state: there is no folder "
                                          "to save the configuration in");
  std::string point_file;
  if (restore_point) {
    point_file = restore_point_file(dir, *restore_point);
    if (point_file.empty())
      return Reply::failure(kInvalidValue, "RestorePointName must have 1 to 64 bytes");
  }
  k::Json config = saved_config(*root_);
  std::string error;
  if (!write_saved_config(dir, saved_config_file(dir), config.get(), error) ||
      (!point_file.empty() && !write_saved_config(dir, point_file, config.get(), error)))
    return Reply::failure(kInternalError, error);
  return Reply::status_ok();
}

}  // namespace sim
