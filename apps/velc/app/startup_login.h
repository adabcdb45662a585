// The --auth login at start-up: where its password comes from, asking for it on a terminal, and
// saying why a login failed.
#pragma once

#include "app/cline.h"
#include "link/session.h"

// The environment variable that holds the --auth password when neither the command line nor a
// password file gives one.
inline constexpr const char* kPasswordVariable = "VELC_PASSWORD";

// Logs in as the --auth login. The password is the one after the ":" of --auth, else the first
// line of --password-file (refused unless only its owner may read it), else $VELC_PASSWORD, else
// none. Without one the text is tried as a passwordless user and as a token; when veld refuses
// both and standard input is a terminal, the password is asked for (without echo) and the login
// tried with it. 0 when logged in; 1 after saying why not on standard error.
int startup_login(Session& session, const Options& options);
