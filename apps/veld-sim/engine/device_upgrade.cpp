// The engine's side of Download: the installed firmware's version, the upgrade state
// parameters, and laying a downloaded configuration over the running tree.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "engine/engine.h"
#include "model/model_load.h"
#include "model/saved_config.h"
#include "model/value_check.h"

namespace sim {

namespace {

constexpr const char* kSoftwareVersion = "Device.DeviceInfo.SoftwareVersion";
constexpr const char* kUpgradeStatus = "Device.DeviceInfo.UpgradeStatus";
constexpr const char* kUpgradeProgress = "Device.DeviceInfo.UpgradeProgress";

// The parameter at a path, or none.
Node* parameter_at(Node& root, const char* path) {
  std::vector<Target> found;
  Fault fault;
  if (!resolve(root, path, TemplateMode::kSchema, found, fault)) return nullptr;
  Node* n = found.front().node;
  return found.front().pseudo == Pseudo::kNone && n->kind == NodeKind::kParameter ? n : nullptr;
}

// Stores a value the parameter accepts; others are dropped (a model with other bounds).
void store(Node& root, const char* path, k::Json value) {
  Node* param = parameter_at(root, path);
  k::Json stored;
  if (param && check_value(param->attr.get(), value.get(), stored) == 0) param->value = stored;
}

// The file of the installed firmware's version in a state folder.
std::string firmware_file(const std::string& dir) { return dir + "/firmware.json"; }

// A whole copy of a tree: instances, orders and numbers included.
std::unique_ptr<Node> clone_tree(const Node& src, Node* parent) {
  auto n = std::make_unique<Node>();
  n->kind = src.kind;
  n->name = src.name;
  n->parent = parent;
  n->attr = src.attr;  // attributes are never changed: shared
  n->value = src.value ? k::Json::take(json_deep_copy(src.value.get())) : k::Json();
  n->handler = src.handler;
  n->handler_arg = src.handler_arg;
  for (const auto& c : src.children) n->children.push_back(clone_tree(*c, n.get()));
  if (src.templ) n->templ = clone_tree(*src.templ, n.get());
  for (const auto& [number, inst] : src.instances)
    n->instances[number] = clone_tree(*inst, n.get());
  n->order = src.order;
  n->max_instance = src.max_instance;
  if (src.input) n->input = clone_tree(*src.input, n.get());
  return n;
}

}  // namespace

std::string Engine::software_version() const {
  Node* param = parameter_at(*root_, kSoftwareVersion);
  return param && json_is_string(param->value.get()) ? json_string_value(param->value.get()) : "";
}

bool Engine::apply_installed_version(Node& root, std::string& error) {
  if (!setup_.state_dir.empty()) {
    std::string file = firmware_file(setup_.state_dir);
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0) {
      k::Json saved = read_json_file(file, error);
      if (!saved) return false;
      json_t* version = json_object_get(saved.get(), "SoftwareVersion");
      if (!json_is_string(version) || !is_version_text(json_string_value(version))) {
        error = file + ": not a firmware record (expects {\"Version\": 1, \"SoftwareVersion\": "
                       "\"MAJOR.MINOR.BUILD[-SUFFIX]\"})";
        return false;
      }
      installed_version_ = json_string_value(version);
    } else if (errno != ENOENT) {
      error = "cannot read " + file + ": " + std::strerror(errno);
      return false;
    }
  }
  if (installed_version_) store(root, kSoftwareVersion, k::json_str(*installed_version_));
  return true;
}

bool Engine::install_firmware(const std::string& version, std::string& error) {
  if (!setup_.state_dir.empty()) {
    k::Json record = k::Json::take(json_object());
    json_object_set_new(record.get(), "Version", json_integer(1));
    json_object_set_new(record.get(), "SoftwareVersion", json_string(version.c_str()));
    if (!write_saved_config(setup_.state_dir, firmware_file(setup_.state_dir), record.get(), error))
      return false;
  }
  installed_version_ = version;
  return true;
}

void Engine::set_upgrade_state(int status, unsigned progress) {
  store(*root_, kUpgradeStatus, k::Json::take(json_integer(status)));
  store(*root_, kUpgradeProgress, k::Json::take(json_integer(progress)));
}

Reply Engine::apply_configuration(json_t* file) {
  json_t* version = json_object_get(file, "Version");
  json_t* config = json_object_get(file, "Configuration");
  if (!json_is_integer(version) || json_integer_value(version) != 1 || !json_is_object(config))
    return Reply::failure(kFileCorrupted, "not a saved configuration (expects {\"Version\": 1, "
                                          "\"Configuration\": {...}})");
  // Laid over a copy, so that a configuration that fails half-way changes nothing.
  std::unique_ptr<Node> fresh = clone_tree(*root_, nullptr);
  std::string error;
  if (!load_saved_values(config, *fresh, error))
    return Reply::failure(kFileCorrupted, "the configuration does not apply: " + error);
  std::string ignored;
  apply_installed_version(*fresh, ignored);
  replace_root(std::move(fresh));
  return Reply::status_ok();
}

void Engine::request_reboot() {
  if (!pending_reboot_) pending_reboot_ = RebootRequest{};
}

}  // namespace sim
