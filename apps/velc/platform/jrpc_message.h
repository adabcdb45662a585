// JSON-RPC messages of the veld protocol: the record, its wire form, and the builders of every
// request the client sends. docs/protocol.md is the reference for the shapes built here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/json.h"

namespace k {

// What a message is. The numbers are part of the client's interface (`typeof`).
enum MsgKind : int {
  kMsgNone = 0,
  kMsgRequest = 1,       // method and id: expects a reply
  kMsgNotification = 2,  // method without id (other than Event)
  kMsgEvent = 3,         // the "Event" notification: event id and data
  kMsgError = 4,         // reply carrying an error
  kMsgResult = 5,        // reply carrying a result
};

// The method name of event notifications.
inline constexpr const char* kEventMethod = "Event";

// The event group of data-model change events (instances added and deleted), which every client
// joins on its events connection.
inline constexpr unsigned kChangeEventGroup = 4;

// One message. A request keeps its method and params after the exchange; the reply's parts
// (kind, result or error) are stored into the same record.
struct Message {
  int kind = kMsgNone;
  Json id;  // JSON integer or string; none for notifications and events
  std::string method;
  Json params;  // request or notification params; for an event, its data (may be none)
  Json result;
  int error_code = 0;
  std::optional<std::string> error_message;
  std::optional<std::string> error_detail;
  Json error_data;
  unsigned event_id = 0;
  // The error was made here, not sent by veld: the exchange failed, and the error holds the
  // socket error's code and text (see Connection::exec).
  bool failed_here = false;

  // The wire form (k_jrpcmsg_json): a new JSON object.
  Json to_json() const;
  // Stores a reply (result or error) into this message.
  void take_reply(const Message& reply);
  // Stores a failed exchange as an error: `code` (a socket error) and its text.
  void fail_here(int code);
  // Makes a request that failed here a request again, so that it can be sent anew.
  void forget_failure();
};

// Reads a JSON value as a message; none when it is not a JSON-RPC 2.0 message.
std::optional<Message> msg_parse(json_t* value);

// Generic request (k_jrpcmsg_create_new); params may be none.
Message msg_create(std::string method, Json params);
// Event notification with an id and optional data.
Message msg_create_event(unsigned event_id, Json data);

// Builders of the data-model requests.
Message msg_get_parameter_names(const std::string& path, bool next_level);
Message msg_get_parameter_values(Json names);  // names: JSON array of path strings
Message msg_get_parameter_attributes(Json names, int depth);  // depth 0, 1 or -1
Message msg_set_parameter_values(Json parameter_list);  // [{"Name","Value"}...]
Message msg_add_object(const std::string& object_path);
Message msg_delete_object(const std::string& object_path);
Message msg_change_order(const std::string& instance_path, unsigned order);
Message msg_join_group(unsigned group);
// Runs a method: its path (without a trailing dot) and its arguments, [{"Name","Value"}...]
// relative to its "#input"; without arguments (none) the params hold only the method's name.
Message msg_execute(const std::string& method_path, Json parameter_list);

// Builders of the authentication requests: "Login" (without "Password" when there is none),
// "Authenticate" with a token ("" drops it), "Logout".
Message msg_login(const std::string& user, const std::optional<std::string>& password);
Message msg_authenticate(const std::string& token);
Message msg_logout();

// Adds (or replaces) one member of a request's params (k_jrpcmsg_add_parameter_json_new).
void msg_add_parameter(Message& m, const char* key, Json value);

}  // namespace k
