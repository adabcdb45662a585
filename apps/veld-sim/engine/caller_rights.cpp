#include "engine/caller_rights.h"

namespace sim {

bool is_own_identity(const Node& n) {
  return n.kind == NodeKind::kParameter &&
         (n.handler == "current_user" || n.handler == "system_access");
}

namespace {

// True when a user's own identity parameters lie inside `n` (tables and methods hold none).
bool holds_own_identity(const Node& n) {
  for (const auto& c : n.children) {
    if (is_own_identity(*c)) return true;
    if (c->kind == NodeKind::kObject && holds_own_identity(*c)) return true;
  }
  return false;
}

}  // namespace

NodeAccess access_to(const Caller& caller, const Node& n, std::string_view path,
                     RightsScope scope) {
  NodeAccess a;
  bool own = caller.logged_in() && is_own_identity(n);
  if (scope.uniform) {
    a.rights = scope.rights;
    a.readable = own || (a.rights & kRightRead);
    a.visible = a.readable;
    a.inside = scope;
    return a;
  }
  std::string_view checked = rights_path(path);
  a.rights = caller.rights.at(checked);
  a.readable = own || (a.rights & kRightRead);
  bool holds_nodes = n.is_object_like() || n.kind == NodeKind::kMethod;
  // An object is seen on the way to what may be read inside it. Not so in a template or an
  // argument list, which take their table's or method's rights whole.
  // So is an object holding the user's own identity, which every logged-in user may read.
  a.visible = a.readable || (holds_nodes && checked == path &&
                             (caller.rights.given_below(checked, kRightRead) ||
                              (caller.logged_in() && holds_own_identity(n))));
  if (holds_nodes && caller.rights.uniform_below(checked)) a.inside = {true, a.rights};
  return a;
}

bool has_right(const Caller& caller, std::string_view path, unsigned right) {
  return caller.rights.at(rights_path(path)) & right;
}

bool refused_to_guest(const Caller& caller, const Node& param) {
  return !caller.logged_in() && param.handler == "current_user";
}

std::optional<Reply> refuse_method(const Caller& caller, MethodRight right,
                                   std::string_view method) {
  if (right != MethodRight::kSystemAccess || caller.system_access) return std::nullopt;
  return Reply::failure(kRequestDenied,
                        std::string(method) + " needs a user with system access");
}

Caller guest_caller(const Accounts& accounts) {
  Caller c;
  c.rights = accounts.guest;
  return c;
}

Caller user_caller(const Account& account) {
  Caller c;
  c.user = account.name;
  c.system_access = account.system_access;
  c.rights = account.rights;
  c.password_hash = account.password_hash;
  return c;
}

}  // namespace sim
