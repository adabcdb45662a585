// The data-model engine: the operations of veld's methods on the model tree, independent of any
// transport. Every operation takes the caller, whose rights decide what it may read or change.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "accounts.h"
#include "fault.h"
#include "node.h"
#include "platform/json.h"
#include "resolve.h"

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

// The data-model change event group (AddObject, DeleteObject).
inline constexpr unsigned kChangeEventGroup = 4;

class Engine {
 public:
  // Receives the events the engine emits: group and data.
  using EventSink = std::function<void(unsigned group, k::Json data)>;

  // A model without accounts lets everybody do everything (see Accounts).
  explicit Engine(std::unique_ptr<Node> root, Accounts accounts = {});

  // The model tree.
  Node& root() { return *root_; }
  // The model's accounts and the guests' rights.
  const Accounts& accounts() const { return accounts_; }
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
  // Removes an instance and sends the "Delete" change event.
  void remove_and_announce(Node& table, Node& inst, const std::string& path);

  std::unique_ptr<Node> root_;
  Accounts accounts_;
  std::chrono::steady_clock::time_point started_;
  EventSink sink_;
};

// Calls fn(child, pseudo, element) for each child of a node in listing order: a table's
// "#template" (when with_template), instances and pseudo-parameters; a method's "#input" and
// outputs; an object's members. For a pseudo-parameter `child` is the table.
void for_each_child(Node& n, bool with_template,
                    const std::function<void(Node&, Pseudo, std::string_view)>& fn);

}  // namespace sim
