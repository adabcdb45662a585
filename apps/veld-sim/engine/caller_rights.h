// The rights checks of the engine's operations: what a caller may do with a node, judged by the
// path the node is listed under.
#pragma once

#include <optional>
#include <string_view>

#include "engine/engine.h"
#include "model/accounts.h"
#include "model/rights.h"

namespace sim {

// What the caller may do with one node as a listing meets it.
struct NodeAccess {
  bool visible = false;   // listed at all: readable, or something inside it is
  bool readable = false;  // its name, attributes and value may be read
  unsigned rights = 0;    // the letters of its rule
  RightsScope inside;     // the rights of the nodes below it
};

// The access to node `n` listed under `path`, inside a subtree whose rights are `scope`. A
// pseudo-parameter is judged as its table: pass the table and the table's path. The
// connection's own user name and system-access flag are readable by every logged-in user.
NodeAccess access_to(const Caller& caller, const Node& n, std::string_view path,
                     RightsScope scope = {});

// True when the caller has `right` at the node listed under `path`.
bool has_right(const Caller& caller, std::string_view path, unsigned right);

// True for the parameters that tell the connection about its own user ("current_user",
// "system_access").
bool is_own_identity(const Node& n);

// True for the value of the connection's user name asked by a guest, who has none.
bool refused_to_guest(const Caller& caller, const Node& param);

// What a method asks of its caller, as the daemon's method table declares it beside the name.
enum class MethodRight {
  kNone,          // nothing: guests may call it (logging in, events)
  kByPath,        // a right on each path it names, which the engine's operation checks
  kSystemAccess,  // a logged-in user whose system-access flag is true (the device actions)
};

// 9001 "METHOD needs a user with system access" when the method asks for system access and
// `caller` lacks it; none otherwise (what kByPath asks is the operation's to check). A method
// asks this once its params have the right shape, so that a request of the wrong shape is told
// so whoever sends it.
std::optional<Reply> refuse_method(const Caller& caller, MethodRight right,
                                   std::string_view method);

// A guest: nobody logged in, with the guests' rights.
Caller guest_caller(const Accounts& accounts);

// The caller of a logged-in user.
Caller user_caller(const Account& account);

}  // namespace sim
