// Who the requests connection is authenticated as, on the client's side.
#pragma once

#include <string>

// The logged-in user's name, or null when nobody is logged in.
const std::string* current_user();
// The current user's "Device.Users.SystemAccess" is true (selects the root-prompt colour).
bool system_access();
// Replaces the user name (null: nobody) without asking veld anything.
void current_user_store(const char* name);
