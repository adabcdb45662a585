// The commands that change who the client is logged in as: `login`, `logout`, `login_if_guest`.
#pragma once

#include <string>

#include <jansson.h>

#include "shell/client.h"

// `login [<username> [-p <password>]]`: no argument logs in as $USER without a password; a
// login alone asks for its password; "Failed to authenticate user" when veld refuses, and on
// standard error why (report_login_failure). 0 or -1.
int cmd_login(Client& client, const std::string& name, json_t* args);
// `logout`: 0, or the failure of the request; -1 with the syntax line for any argument.
int cmd_logout(Client& client, const std::string& name, json_t* args);
// `login_if_guest <username|token> [<password>]`: logs in only when nobody is logged in; silent,
// and 0 whatever came of it.
int cmd_login_if_guest(Client& client, const std::string& name, json_t* args);
