#include "lua/lua_preload.h"

#include <dirent.h>

#include <lua.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "lua/lua_runner.h"
#include "platform/interrupt.h"

namespace {

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};

constexpr size_t kModuleNameMax = 255;

// require(name) and the global `short` set to its value; protected, it may raise. The names
// arrive as light userdata.
int require_into_global(lua_State* L) {
  const char* name = static_cast<const char*>(lua_touserdata(L, 1));
  const char* short_name = static_cast<const char*>(lua_touserdata(L, 2));
  lua_getglobal(L, "require");
  lua_pushstring(L, name);
  lua_call(L, 1, 1);
  lua_setglobal(L, short_name);
  return 0;
}

}  // namespace

std::vector<std::string> lua_preload_modules(lua_State* L, FILE* out) {
  std::vector<std::string> entries;
  std::vector<std::string> loaded;
  {
    std::unique_ptr<DIR, DirCloser> dir(opendir(k::lua_module_dir().c_str()));
    if (!dir) return loaded;
    while (dirent* e = readdir(dir.get()))
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
        entries.emplace_back(e->d_name);
  }
  std::sort(entries.begin(), entries.end());  // the same order on every run
  for (const std::string& entry : entries) {
    // X.so and the folder X (X/init.lua) are the module norlan.X.
    std::string name = ("norlan." + entry).substr(0, kModuleNameMax);
    if (name.size() > 3 && name.ends_with(".so")) name.resize(name.size() - 3);
    std::string short_name = name.substr(std::strlen("norlan."));
    if (!lua_checkstack(L, 3)) return loaded;
    lua_pushcfunction(L, require_into_global);
    lua_pushlightuserdata(L, name.data());
    lua_pushlightuserdata(L, short_name.data());
    if (lua_pcall(L, 2, 0, 0) == LUA_OK) {
      std::fprintf(out, "> preloaded %s\n", short_name.c_str());
      loaded.push_back(short_name);
    } else {
      lua_pop(L, 1);
    }
    // A module whose loading was cut by Ctrl-C ends the preloading.
    k::interrupt_check();
  }
  return loaded;
}
