#include "entry/user.h"

#include <optional>

namespace {
std::optional<std::string> g_user;
bool g_system_access = false;
}  // namespace

const std::string* current_user() { return g_user ? &*g_user : nullptr; }
bool system_access() { return g_system_access; }

void current_user_store(const char* name) {
  if (name)
    g_user = name;
  else
    g_user.reset();
}
