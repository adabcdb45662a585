// Who the requests connection is authenticated as, and every way to become or stop being that
// user: a login text tried as a user name (with or without a password) and then as a token, the
// automatic login of the local system user, and logging out. The password is handed to veld and
// never kept.
#pragma once

#include <optional>
#include <string>

#include "link/session.h"

// What user_login gives when veld refused the login both as a user and as a token.
inline constexpr int kLoginRefused = -1;

// Logs in with `login` and `password`; when veld refuses, takes `login` as a token and asks veld
// whose it is ("Device.Users.CurrentUser"). 0 on success; kLoginRefused when both were refused
// (the session is then logged out); the negative code of the requests connection when an
// exchange failed (no reply in time, connection closed): nothing more is tried then, and the
// session's user is none without a word to veld. Prints nothing.
int user_login(Session& session, const std::string& login,
               const std::optional<std::string>& password);
// Why a login failed, from user_login's result: "wrong user name or password" (or, without a
// password, refused as a user and as a token), "veld did not answer within 5 s", "the connection
// was closed during login; is it a TLS port? (use --ssl)", or the connection's error text.
std::string login_failure_reason(const Session& session, int result, bool with_password);
// Says on standard error why logging in as `login` failed: "velc: cannot log in as LOGIN:
// REASON", or "velc: cannot log in: REASON" without a password, when the text may be a token,
// which is not shown.
void report_login_failure(const Session& session, const std::string& login, int result,
                          bool with_password);
// Logs out: drops the token of a token login (0), or sends a logout (0, or its failure). The
// session's user is none afterwards, whatever veld answered.
int user_logout(Session& session);
// Makes `name` (none: nobody) the session's user, with its system access read from veld (a
// refusal reads as none, silently), and marks everything fetched for the previous user stale.
void set_current_user(Session& session, const std::optional<std::string>& name);
// Logs in as the local system user (the password-database entry of the real user id) without a
// password, when nobody is logged in and veld is reached over a local UNIX socket. Silent.
void try_login(Session& session);
