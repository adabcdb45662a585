#include "lua/lua_complete.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "testing/temp_dir.h"

namespace {

using Words = std::vector<std::string>;
Words sorted(Words w) { return std::sort(w.begin(), w.end()), w; }

TEST(LuaComplete, WordUnderTheCursor) {
  const std::tuple<std::string, size_t, size_t, std::string> cases[] = {  // line, cursor, start, word
      {"print(string.fo", 15, 6, "string.fo"}, {"x = t[\"ke", 9, 4, "t[\"ke"},
      {"a.b:c", 3, 0, "a.b"},  // the part before the cursor
      {"x = ", 4, 4, ""},      // among separators: an empty word
      {"require(\"nor", 12, 8, "\"nor"},
  };
  for (const auto& [line, cursor, start, word] : cases) {
    LuaWord w = lua_word_at(line, cursor);
    EXPECT_EQ(w.start, start) << line;
    EXPECT_EQ(w.text, word) << line;
  }
}

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
      {"string.format", {"string.format("}},  // a function typed whole
      {"nested.inner", {"nested.inner."}},     // a table with string keys
      {"arr", {"arr["}},                       // a table with other keys
      {"whiskey", {"whiskey"}},                // a number: nothing added
      {"obj:", {"obj:g", "obj:gm"}},           // functions only, the object's and "__index"'s
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
  // An empty word: the 21 keywords first.
  Words all = lua_complete(L, "", 0);
  ASSERT_GE(all.size(), 21u);
  EXPECT_EQ(Words(all.begin(), all.begin() + 21), Words(lua_keywords, lua_keywords + 21));
  EXPECT_EQ(std::find(all.begin(), all.end(), "goto"), all.end());

  const std::pair<std::string, Words> cases[] = {  // the line, its candidates in order
      {"wh", {"while", "whiskey"}},
      {"x = al", {"alpha"}},  // found on package.path; require("al") failed
      {"require('pkg.", {"'pkg.beta'"}},  // "init" is skipped
      {"require(\"pre", {"\"prelo\""}},
  };
  for (const auto& [line, candidates] : cases) EXPECT_EQ(lua_complete(L, line, line.size()), candidates) << line;
}

TEST_F(LuaCompleteState, ModuleTypedWholeIsLoadedOrGlobalized) {
  int messages = 0;
  auto count = [&] { ++messages; };
  testing::internal::CaptureStdout();
  lua_complete(L, "alpha", 5, count);  // installed, not loaded: loaded as a global
  EXPECT_EQ(luaL_dostring(L, "assert(alpha.one == 1) alpha = nil"), LUA_OK);
  lua_complete(L, "alpha", 5, count);  // loaded, its global nil: made global again
  EXPECT_EQ(luaL_dostring(L, "assert(alpha.one == 1)"), LUA_OK);
  lua_complete(L, "alpha", 5, count);  // loaded and global: nothing to say
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\nLoaded module 'alpha'.\n\nGlobalized module 'alpha'.\n");
  EXPECT_EQ(messages, 2);
  EXPECT_EQ(lua_gettop(L), 0);
}

}  // namespace
