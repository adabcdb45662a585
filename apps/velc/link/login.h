// Who the requests connection is authenticated as, and every way to become or stop being that
// user: a login text tried as a user name (with or without a password) and then as a token, the
// automatic login of the local system user, and logging out. The password is handed to veld and
// never kept.
#pragma once

#include <optional>
#include <string>

#include "link/session.h"

// Logs in with `login` and `password`; when veld refuses, takes `login` as a token and asks veld
// whose it is ("Device.Users.CurrentUser"). 0 on success; -1 when both were refused (the session
// is then logged out). Prints nothing.
int user_login(Session& session, const std::string& login,
               const std::optional<std::string>& password);
// Logs out: drops the token of a token login (0), or sends a logout (0, or its failure). The
// session's user is none afterwards, whatever veld answered.
int user_logout(Session& session);
// Makes `name` (none: nobody) the session's user, with its system access read from veld (a
// refusal reads as none, silently), and marks everything fetched for the previous user stale.
void set_current_user(Session& session, const std::optional<std::string>& name);
// Logs in as the local system user (the password-database entry of the real user id) without a
// password, when nobody is logged in and veld is reached over a local UNIX socket. Silent.
void try_login(Session& session);
