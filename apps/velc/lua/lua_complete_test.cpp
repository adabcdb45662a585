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

TEST(LuaComplete, WordUnderTheCursor) {
  const struct {
    std::string line;
    size_t cursor;
    size_t start;
    std::string word;
  } cases[] = {
      {"print(string.fo", 15, 6, "string.fo"},
      {"x = t[\"ke", 9, 4, "t[\"ke"},
      {"a.b:c", 3, 0, "a.b"},  // the part before the cursor
      {"x = ", 4, 4, ""},      // among separators: an empty word
      {"", 0, 0, ""},
      {"one two", 2, 0, "on"},
      {"require(\"nor", 12, 8, "\"nor"},
  };
  for (const auto& c : cases) {
    LuaWord w = lua_word_at(c.line, c.cursor);
    EXPECT_EQ(w.start, c.start) << c.line;
    EXPECT_EQ(w.text, c.word) << c.line;
  }
}

class LuaCompleteState : public ::testing::Test {
 protected:
  LuaCompleteState() : L(luaL_newstate()) {
    luaL_openlibs(L);
    // Lua's own search paths lead to a folder of ours.
    std::filesystem::create_directories(dir.file("mods/pkg"));
    std::ofstream(dir.file("mods/alpha.lua")) << "return {one = 1}\n";
    std::ofstream(dir.file("mods/pkg/beta.lua")) << "return {}\n";
    std::ofstream(dir.file("mods/pkg/init.lua")) << "return {}\n";
    const std::string code = "package.path = '" + dir.file("mods/?.lua") + ";" +
                             dir.file("mods/?/init.lua") + "' package.cpath = ''" +
                             " package.preload.prelo = function() return 1 end" +
                             " t = {10, 20} k = {alpha = 1, [\"b c\"] = 2}" +
                             " obj = setmetatable({f = 1, g = print}," +
                             " {__index = {gm = print, gv = 1}})" +
                             " nested = {inner = {x = 1}} arr = {{1}} fn = print"
                             " whiskey = 1 big = {[math.huge] = 1, [-1e300] = 2, [0/0 ~= 0/0 and 3 or 3] = 3, [2.5] = 4}";
    EXPECT_EQ(luaL_dostring(L, code.c_str()), LUA_OK) << lua_tostring(L, -1);
  }
  ~LuaCompleteState() override { lua_close(L); }

  Words sorted(Words w) {
    std::sort(w.begin(), w.end());
    return w;
  }

  k::test::TempDir dir;
  lua_State* L;
};

TEST_F(LuaCompleteState, Fields) {
  const struct {
    std::string word;
    Words candidates;  // sorted
  } cases[] = {
      {"string.fo", {"string.format"}},
      {"string.format", {"string.format("}},  // a function typed whole
      {"nested.inner", {"nested.inner."}},     // a table with string keys
      {"arr", {"arr["}},                       // a table with other keys
      {"whisk", {"whiskey"}},
      {"whiskey", {"whiskey"}},                // a number: nothing added
      {"obj:", {"obj:g", "obj:gm"}},           // functions only, the object's and "__index"'s
      {"obj.g", {"obj.g(", "obj.gm", "obj.gv"}},
      {"t[", {"t[1]", "t[2]"}},
      {"big[", {"big[3]"}},                    // no integer for huge or fractional keys
      {"k[\"", {"k[\"alpha\"]", "k[\"b c\"]"}},
      {"k['al", {"k['alpha']"}},
      {"nosuch.x", {}},                        // the expression fails
      {"whiskey.", {}},                        // a number has no fields
      {"string.fo(", {}},
  };
  for (const auto& c : cases) {
    const int top = lua_gettop(L);
    EXPECT_EQ(sorted(lua_complete_fields(L, c.word)), c.candidates) << c.word;
    EXPECT_EQ(lua_gettop(L), top) << c.word;
  }
}

TEST_F(LuaCompleteState, KeywordsModulesAndGlobals) {
  // An empty word: the 21 keywords first.
  Words all = lua_complete(L, "", 0);
  ASSERT_GE(all.size(), 21u);
  EXPECT_EQ(Words(all.begin(), all.begin() + 21), Words(lua_keywords, lua_keywords + 21));
  EXPECT_EQ(std::find(all.begin(), all.end(), "goto"), all.end());

  const struct {
    std::string line;
    Words candidates;  // in order
  } cases[] = {
      {"wh", {"while", "whiskey"}},
      {"x = al", {"alpha"}},  // found on package.path; require("al") failed
      {"require(\"al", {"\"alpha\""}},
      {"require('pkg.", {"'pkg.beta'"}},  // "init" is skipped
      {"require(\"pre", {"\"prelo\""}},
  };
  for (const auto& c : cases) {
    Words got = lua_complete(L, c.line, c.line.size());
    EXPECT_EQ(got, c.candidates) << c.line;
  }
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
