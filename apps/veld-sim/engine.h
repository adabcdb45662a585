// The data-model engine: the operations of veld's methods on the model tree, independent of any
// transport. Every operation takes the caller, so rights can decide per user what it may read or
// write.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fault.h"
#include "node.h"
#include "platform/json.h"
#include "resolve.h"

namespace sim {

// Who performs an operation. Everybody may do everything for now; `user` is where a login
// will land.
struct Caller {
  std::string user;
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

  explicit Engine(std::unique_ptr<Node> root);

  // The model tree.
  Node& root() { return *root_; }
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

  // A parameter's value as read now (runtime values computed, secrets hidden).
  k::Json read_value(const Node& param) const;
  // Seconds since the engine started.
  long long uptime_seconds() const;

 private:
  // Rights hooks: every caller may read and write everything until users exist.
  bool may_read(const Caller&, const Node&) const { return true; }
  bool may_write(const Caller&, const Node&) const { return true; }

  // Listing helpers (listing.cpp).
  void list_names(Node& n, Pseudo p, std::string& path, bool recurse, ListWriter& out);
  void list_values(const Caller& caller, Node& n, std::string& path, bool ignore,
                   ListWriter& out, bool& denied);
  void list_attributes(Node& n, Pseudo p, std::string& path, int depth, ListWriter& out);

  void emit(unsigned group, k::Json data);
  // Removes an instance and sends the "Delete" change event.
  void remove_and_announce(Node& table, Node& inst, const std::string& path);

  std::unique_ptr<Node> root_;
  std::chrono::steady_clock::time_point started_;
  EventSink sink_;
};

// Calls fn(child, pseudo, element) for each child of a node in listing order: a table's
// "#template" (when with_template), instances and pseudo-parameters; a method's "#input" and
// outputs; an object's members. For a pseudo-parameter `child` is the table.
void for_each_child(Node& n, bool with_template,
                    const std::function<void(Node&, Pseudo, std::string_view)>& fn);

}  // namespace sim
