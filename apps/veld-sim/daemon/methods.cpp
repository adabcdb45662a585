// The daemon's method table: every method a client may call, what it asks of its caller, and
// the handlers of those the server runs itself (events, groups, downloads, logging in) or hands
// to the engine.
#include <climits>
#include <utility>

#include "daemon/authentication.h"
#include "daemon/dispatch.h"
#include "daemon/server.h"
#include "downloads/download_request.h"
#include "engine/caller_rights.h"

namespace sim {

namespace {

// A non-negative integer member that fits an unsigned int (an event group); none otherwise.
std::optional<unsigned> group_member(json_t* params, const char* key) {
  json_t* v = json_object_get(params, key);
  if (!json_is_integer(v) || json_integer_value(v) < 0 || json_integer_value(v) > UINT_MAX)
    return std::nullopt;
  return static_cast<unsigned>(json_integer_value(v));
}

// The params of a method that reads them as an object: none stands for an empty one (held in
// `empty`); an array gives -32602.
std::optional<Reply> object_params(json_t*& params, k::Json& empty) {
  if (!params) {
    empty = k::Json::take(json_object());
    params = empty.get();
  }
  if (!json_is_object(params)) return Reply::failure(kInvalidParams, "params must be an object");
  return std::nullopt;
}

}  // namespace

const Server::Method* Server::find_method(std::string_view name) {
  using enum MethodRight;
  static constexpr Method kMethods[] = {
      {"GetParameterNames", kByPath, &Server::engine_method<get_parameter_names>},
      {"GetParameterValues", kByPath, &Server::engine_method<get_parameter_values>},
      {"GetParameterAttributes", kByPath, &Server::engine_method<get_parameter_attributes>},
      {"SetParameterValues", kByPath, &Server::engine_method<set_parameter_values>},
      {"RawSetParameterValues", kByPath, &Server::engine_method<raw_set_parameter_values>},
      {"AddObject", kByPath, &Server::engine_method<add_object>},
      {"DeleteObject", kByPath, &Server::engine_method<delete_object>},
      {"ChangeOrder", kByPath, &Server::engine_method<change_order>},
      {"Execute", kByPath, &Server::engine_method<execute>},
      {"Select", kByPath, &Server::engine_method<select>},
      {"Reboot", kSystemAccess, &Server::engine_method<reboot>},
      {"FactoryReset", kSystemAccess, &Server::engine_method<factory_reset>},
      {"SaveConfig", kSystemAccess, &Server::engine_method<save_config>},
      {"Download", kSystemAccess, &Server::download},
      {"Login", kNone, &Server::account_method<login>},
      {"Authenticate", kNone, &Server::account_method<authenticate>},
      {"Logout", kNone, &Server::account_method<logout>},
      {"JoinGroup", kNone, &Server::join_group},
      {"Event", kNone, &Server::event},
  };
  for (const Method& m : kMethods)
    if (m.name == name) return &m;
  return nullptr;
}

template <EngineMethod method>
std::optional<Reply> Server::engine_method(Request& request) {
  k::Json empty;
  json_t* params = request.params;
  if (auto bad = object_params(params, empty)) return bad;
  Reply r = method(engine_, request.call(), params);
  if (auto reboot = engine_.take_reboot()) note_reboot(request.id, *reboot);
  return r;
}

template <AccountMethod method>
std::optional<Reply> Server::account_method(Request& request) {
  k::Json empty;
  json_t* params = request.params;
  Client& c = request.client;
  if (auto bad = object_params(params, empty)) {
    c.caller = guest_caller(engine_.accounts());  // whatever the method, the login is gone
    return bad;
  }
  if (auto refused = request.call().refused()) return refused;
  return method(engine_.accounts(), c.peer, params, c.caller);
}

std::optional<Reply> Server::download(Request& request) {
  Client& c = request.client;
  // The whole request is read before the right is checked: a bad FileType is told to anyone.
  DownloadRequest read;
  if (auto bad = read_download_request(request.params, read)) return bad;
  if (auto refused = request.call().refused()) return refused;
  // A fetch replies later, from finish_downloads().
  std::optional<Reply> r = downloads_.request(request.id, request.msg_id, request.msg_id != nullptr,
                                              std::move(read), Clock::now());
  if (auto reboot = engine_.take_reboot()) note_reboot(0, *reboot);  // a flash of no time
  if (!r) ++c.downloading;
  return r;
}

std::optional<Reply> Server::event(Request& request) {
  std::optional<unsigned> group = group_member(request.params, "EventId");
  if (!json_is_object(request.params) || !group)
    return Reply::failure(kInvalidParams, "an event needs a non-negative integer EventId");
  if (auto refused = request.call().refused()) return refused;
  send_event(*group, request.params, &request.id);
  return Reply::status_ok();
}

std::optional<Reply> Server::join_group(Request& request) {
  json_t* params = request.params;
  std::optional<unsigned> group = group_member(params, "Group");
  json_t* session = json_object_get(params, "Session");
  json_t* receiver = json_object_get(params, "Receiver");
  if (!json_is_object(params) || !group || (session && !json_is_string(session)) ||
      (receiver && !json_is_boolean(receiver)))
    return Reply::failure(kInvalidParams,
                          "expects Group (integer), Session (text), Receiver (boolean)");
  if (auto refused = request.call().refused()) return refused;
  router_.join(request.id, *group, session ? json_string_value(session) : "",
               json_is_true(receiver));
  return Reply::status_ok();
}

}  // namespace sim
