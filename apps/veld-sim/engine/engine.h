// The data-model engine: the operations of veld's methods on the model tree, independent of any
// transport. Every operation takes the caller, whose rights decide what it may read or change.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/accounts.h"
#include "model/fault.h"
#include "model/node.h"
#include "model/resolve.h"
#include "platform/json.h"

namespace sim {

// Who performs an operation: the connection's user, or a guest when nobody is logged in, with
// what the operations check.
struct Caller {
  std::string user;  // "" for a guest
  bool system_access = false;  // the user's system-access flag: device-wide methods need it
  Rights rights;               // what the user (or a guest) may do; none by default
  std::string password_hash;   // the user's, for methods that ask for the password again

  // True when somebody is logged in.
  bool logged_in() const { return !user.empty(); }
};

class ListWriter;

// The outcome of an operation: a result object, or a fault (code != 0). Listings carry their
// result already encoded (`result_text`) instead of as a value.
struct Reply {
  k::Json result;
  Fault fault;
  std::string result_text{};

  // True without a fault.
  bool ok() const { return fault.code == 0; }
  // The result as a value, decoding `result_text` when that holds it.
  k::Json result_json() const;
  // A successful reply with an encoded result.
  static Reply listing(std::string text);
  // A failed reply.
  static Reply failure(int code, std::string detail, k::Json data = {});
  // A reply with the result {"Status": 0}.
  static Reply status_ok();
};

// One {"Name", "Value"} member of a set or execute request.
struct NamedValue {
  std::string name;
  k::Json value;
};

// The data-model change event group (AddObject, DeleteObject, FactoryReset).
inline constexpr unsigned kChangeEventGroup = 4;

// Builds the model as the model file gives it (the factory configuration); none with `error`
// set.
using ModelFactory = std::function<std::unique_ptr<Node>(std::string& error)>;

// What the device is rebuilt from at start, after a reboot and by a factory reset.
struct DeviceSetup {
  ModelFactory factory;
  std::string state_dir{};  // where configurations are saved (saved_config.h); "" none
};

// An accepted Reboot that the server has yet to carry out.
struct RebootRequest {
  std::optional<std::string> device_mode;  // Device.DeviceInfo.DeviceMode after the reboot
  bool force = false;
};

class Engine {
 public:
  // Receives the events the engine emits: group and data.
  using EventSink = std::function<void(unsigned group, k::Json data)>;

  // A device serving `root` as it is: it cannot be reset to a factory model, and its reboot
  // keeps the tree. A model without accounts lets everybody do everything (see Accounts).
  explicit Engine(std::unique_ptr<Node> root, Accounts accounts = {});
  // A device built from `setup`; boot() builds its tree.
  explicit Engine(DeviceSetup setup, Accounts accounts = {});

  // Builds the running tree: the factory model, the saved configuration laid over it, and
  // `device_mode` (a reboot's, already checked) as Device.DeviceInfo.DeviceMode; the uptime
  // starts again at 0. False with `error` when the factory model or the saved configuration
  // cannot be read: then the tree is the factory model alone, or stays as it was when even
  // that fails. Without a factory the tree stays and only the mode and the uptime change.
  bool boot(std::string& error, const std::optional<std::string>& device_mode = std::nullopt);

  // The model tree.
  Node& root() { return *root_; }
  // The model's accounts and the guests' rights.
  const Accounts& accounts() const { return accounts_; }
  // The state folder ("" none).
  const std::string& state_dir() const { return setup_.state_dir; }
  // Where AddObject and DeleteObject send their change events.
  void set_event_sink(EventSink sink) { sink_ = std::move(sink); }

  // GetParameterNames: the node and all below it, or its immediate children.
  Reply get_parameter_names(const Caller& caller, std::string_view path, bool next_level);
  // GetParameterValues: the parameters named or below the objects named, in order.
  Reply get_parameter_values(const Caller& caller, const std::vector<std::string>& paths,
                             bool ignore_access_error);
  // GetParameterAttributes with depth 0, 1 or -1.
  Reply get_parameter_attributes(const Caller& caller, const std::vector<std::string>& paths,
                                 int depth, bool ignore_access_error);
  // SetParameterValues (raw: string values are converted by the parameter's type). All or
  // nothing.
  Reply set_parameter_values(const Caller& caller, const std::vector<NamedValue>& list, bool raw);
  // AddObject on a table path; emits the "Add" change event.
  Reply add_object(const Caller& caller, std::string_view table_path);
  // DeleteObject of an instance path; emits the "Delete" change event.
  Reply delete_object(const Caller& caller, std::string_view instance_path);
  // ChangeOrder: moves an instance of an ordered table to a 1-based position.
  Reply change_order(const Caller& caller, std::string_view instance_path, long long position);
  // Execute a method with arguments named relative to its "#input".
  Reply execute(const Caller& caller, std::string_view method_path,
                const std::vector<NamedValue>& arguments);

  // The device actions: Reboot, FactoryReset and SaveConfig. Whether the caller may ask for
  // them is checked before, where the method is called (refuse_method); these check the values.
  // Reboot: checks the DeviceMode and records the request, which the server carries out
  // (take_reboot) once the reply is written.
  Reply reboot(const std::optional<std::string>& device_mode, bool force);
  // The recorded reboot, handed over once; none when no Reboot was accepted since.
  std::optional<RebootRequest> take_reboot() {
    return std::exchange(pending_reboot_, std::nullopt);
  }
  // FactoryReset: the factory model (with DeviceMode when given) replaces the running tree, the
  // saved configuration is erased, and a change event goes out for every instance that
  // vanished or appeared.
  Reply factory_reset(const std::optional<std::string>& device_mode);
  // SaveConfig: writes the running configuration to the state folder, and under the restore
  // point's name too when one is given.
  Reply save_config(const std::optional<std::string>& restore_point);
  // Select (select.cpp): the readable subtrees and parameters a selector names.
  Reply select(const Caller& caller, std::string_view selector);

  // The firmware side of Download (device_upgrade.cpp). The running firmware's version text:
  // Device.DeviceInfo.SoftwareVersion ("" when the model has none).
  std::string software_version() const;
  // Makes `version` the installed firmware: SoftwareVersion from the next boot on, kept in the
  // state folder (firmware.json) when there is one. False with `error` when it cannot be kept.
  bool install_firmware(const std::string& version, std::string& error);
  // Sets Device.DeviceInfo.UpgradeStatus and UpgradeProgress (those the model has).
  void set_upgrade_state(int status, unsigned progress);
  // Lays a configuration in the saved-configuration format ({"Version": 1, "Configuration":
  // C}) over the running tree, all or nothing, with a change event for every instance that
  // went or came. The installed firmware's version stays.
  Reply apply_configuration(json_t* file);
  // Records a reboot as an accepted Reboot does (the end of a firmware flash).
  void request_reboot();

  // A parameter's value as the caller reads it now (runtime values computed, secrets hidden).
  k::Json read_value(const Caller& caller, const Node& param) const;
  // Seconds since the engine started.
  long long uptime_seconds() const;

 private:
  // Listing helpers (listing.cpp): each lists what the caller may see below `n`, whose rights
  // `scope` tells.
  void list_names(const Caller& caller, Node& n, Pseudo p, std::string& path, bool recurse,
                  RightsScope scope, ListWriter& out);
  void list_values(const Caller& caller, Node& n, std::string& path, RightsScope scope,
                   ListWriter& out);
  void list_attributes(const Caller& caller, Node& n, Pseudo p, std::string& path, int depth,
                       RightsScope scope, ListWriter& out);

  void emit(unsigned group, k::Json data);
  // 9007 unless `mode` is a value Device.DeviceInfo.DeviceMode accepts.
  std::optional<Reply> check_device_mode(const std::string& mode) const;
  // Removes an instance and sends the "Delete" change event.
  void remove_and_announce(Node& table, Node& inst, const std::string& path);
  // Makes `fresh` the running tree, with a change event for every instance that went or came.
  void replace_root(std::unique_ptr<Node> fresh);
  // Gives the tree the installed firmware's version (device_upgrade.cpp); with a state folder
  // the version is read from it first. False with `error` when that file cannot be read.
  bool apply_installed_version(Node& root, std::string& error);

  std::unique_ptr<Node> root_;
  Accounts accounts_;
  std::chrono::steady_clock::time_point started_;
  EventSink sink_;
  DeviceSetup setup_;
  std::optional<RebootRequest> pending_reboot_;
  std::optional<std::string> installed_version_;  // none: the model's SoftwareVersion
};

// Calls fn(child, pseudo, element) for each child of a node in listing order: a table's
// "#template" (when with_template), instances and pseudo-parameters; a method's "#input" and
// outputs; an object's members. For a pseudo-parameter `child` is the table.
void for_each_child(Node& n, bool with_template,
                    const std::function<void(Node&, Pseudo, std::string_view)>& fn);

}  // namespace sim
