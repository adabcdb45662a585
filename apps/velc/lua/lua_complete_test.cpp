#include "lua/lua_complete.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "testing/temp_dir.h"

namespace {

using Words = std::vector<std::string>;
Words sorted(Words w) { return std::sort(w.begin(), w.end()), w; }

class LuaCompleteState : public ::testing::Test {
 protected:
  LuaCompleteState() : L(luaL_newstate()) {
    luaL_openlibs(L);
    // Lua's own search paths lead to a folder of ours.
    std::filesystem::create_directories(dir.file("mods/pkg"));
    for (auto [file, text] : {std::pair{"alpha.lua", "return {one = 1}"}, {"pkg/beta.lua", "return {}"}, {"pkg/init.lua", "return {}"}})
      std::ofstream(dir.file("mods/") + file) << text;
    const std::string code = "package.path = '" + dir.file("mods/?.lua") + ";" + dir.file("mods/?/init.lua") +
                             "' package.cpath = '' package.preload.prelo = function() return 1 end"
                             " t = {10, 20} k = {alpha = 1, [\"b c\"] = 2} nested = {inner = {x = 1}} arr = {{1}}"
                             " obj = setmetatable({f = 1, g = print}, {__index = {gm = print, gv = 1}})"
                             " whiskey = 1 big = {[math.huge] = 1, [-1e300] = 2, [3] = 3, [2.5] = 4}";
    EXPECT_EQ(luaL_dostring(L, code.c_str()), LUA_OK) << lua_tostring(L, -1);
  }
  ~LuaCompleteState() override { lua_close(L); }

  k::test::TempDir dir;
  lua_State* L;
};

TEST_F(LuaCompleteState, Fields) {
  const std::pair<std::string, Words> cases[] = {  // the word, its candidates sorted
      // A function, a table with string keys, one with other keys, a number, typed whole.
      {"string.format", {"string.format("}}, {"nested.inner", {"nested.inner."}}, {"arr", {"arr["}}, {"whiskey", {"whiskey"}},
      {"obj:", {"obj:g", "obj:gm"}},  // functions only, the object's and "__index"'s
      {"obj.g", {"obj.g(", "obj.gm", "obj.gv"}}, {"t[", {"t[1]", "t[2]"}},
      {"big[", {"big[3]"}},                    // no integer for huge or fractional keys
      {"k[\"", {"k[\"alpha\"]", "k[\"b c\"]"}}, {"k['al", {"k['alpha']"}},
      {"nosuch.x", {}}, {"whiskey.", {}},     // the expression fails; a number has no fields
  };
  for (const auto& [word, candidates] : cases) {
    EXPECT_EQ(sorted(lua_complete_fields(L, word)), candidates) << word;
    EXPECT_EQ(lua_gettop(L), 0) << word;
  }
}

TEST_F(LuaCompleteState, KeywordsModulesAndGlobals) {
  // An empty word: the keywords first ("goto" is none), then the globals.
  Words all = lua_complete(L, "", 0);
  EXPECT_EQ(all.front(), "and");
  EXPECT_EQ(std::find(all.begin(), all.end(), "goto"), all.end());
  EXPECT_NE(std::find(all.begin(), all.end(), "whiskey"), all.end());

  const std::pair<std::string, Words> cases[] = {  // the line, its candidates in order
      {"wh", {"while", "whiskey"}}, {"x = al", {"alpha"}},  // found on package.path; require("al") failed
      {"require('pkg.", {"'pkg.beta'"}}, {"require(\"pre", {"\"prelo\""}},  // "init" is skipped
  };
  for (const auto& [line, candidates] : cases) EXPECT_EQ(lua_complete(L, line, line.size()), candidates) << line;
}

TEST_F(LuaCompleteState, ModuleTypedWholeIsLoadedOrGlobalized) {
  int messages = 0;
  auto count = [&] { ++messages; };
  testing::internal::CaptureStdout();
  // Installed, not loaded: loaded as a global; loaded, its global nil: made global again; loaded
  // and global: nothing to say.
  for (const char* after : {"assert(alpha.one == 1) alpha = nil", "assert(alpha.one == 1)", ""}) {
    lua_complete(L, "alpha", 5, count);
    EXPECT_EQ(luaL_dostring(L, after), LUA_OK);
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\nLoaded module 'alpha'.\n\nGlobalized module 'alpha'.\n");
  EXPECT_EQ(messages, 2);
  EXPECT_EQ(lua_gettop(L), 0);
}

}  // namespace
