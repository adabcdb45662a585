#include "lua/lua_printer.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

class LuaPrinter : public ::testing::Test {
 protected:
  LuaPrinter() : L(luaL_newstate()) { luaL_openlibs(L); }
  ~LuaPrinter() override { lua_close(L); }

  // Pushes the value of the Lua expression, or of the chunk when it is not an expression.
  void push(const std::string& code) {
    if (luaL_loadstring(L, ("return " + code).c_str()) != LUA_OK) {
      lua_pop(L, 1);
      ASSERT_EQ(luaL_loadstring(L, code.c_str()), LUA_OK) << code;
    }
    ASSERT_EQ(lua_pcall(L, 0, 1, 0), LUA_OK) << code << ": " << lua_tostring(L, -1);
  }
  std::string render(const std::string& code, bool bold = false) {
    push(code);
    const int top = lua_gettop(L);
    std::string text = lua_value_render(L, -1, buffer, bold);
    EXPECT_EQ(lua_gettop(L), top) << code;
    lua_pop(L, 1);
    return text;
  }

  lua_State* L;
  TextBuffer buffer;
};

std::string spaces(int n) { return std::string(static_cast<size_t>(n), ' '); }
std::string repeat(const std::string& piece, int n) { return n > 0 ? piece + repeat(piece, n - 1) : ""; }

// Each value's text; a table's text from a cycle-free layout, a cycle marked.
TEST_F(LuaPrinter, RendersValues) {
  const std::pair<const char*, std::string> cases[] = {
      {"nil", "nil"}, {"10/2", "5.0"}, {"2^53", "9.007199254741e+15"}, {"math.mininteger", "-9223372036854775808"},
      // Quoted form and its escapes.
      {R"('a"b\\\a\b\f\n\t\0\31\127\200')", R"("a\"b\\\a\b\f\n\t\000\031\127\200")"},
      {R"('\r\v')", "[[\n\r\v]]"},  // two line breaks
      // 80 printable bytes still quote; a newline counts 41 towards the 80.
      {"string.rep('x', 80)", "\"" + std::string(80, 'x') + "\""},
      {R"(string.rep('x', 39) .. '\n')", "\"" + std::string(39, 'x') + "\\n\""},
      // Long-bracket form: more than 80 bytes, or two line breaks, or a line break in 41 bytes.
      {"string.rep('x', 81)", "[[\n" + std::string(81, 'x') + "]]"},
      {R"(string.rep('x', 40) .. '\n')", "[[\n" + std::string(40, 'x') + "\n]]"},
      // Closing brackets in the text raise the level.
      {"string.rep('y', 80) .. ']==]]'", "[===[\n" + std::string(80, 'y') + "]==]]]===]"},
      // Escapes of non-printable bytes wrap at column 80.
      {R"(string.rep('\200', 20))", "\"" + repeat("\\200", 19) + "\n\\200\""},
      // Tables in the array part stand on lines of their own.
      {"{}", "{  }"}, {"{1, nil, 3}", "{ 1, nil, 3,  }"}, {"{1, {2}}", "{ 1, \n  { 2,  }, \n}"},
      // Fields one per line, indented to the column after the brace.
      {"{1, name = 'x'}", "{ 1, \n  name = \"x\",\n}"}, {"{a = {b = 1}}", "{ \n  a = { \n        b = 1,\n  },\n}"},
      // Keys that need brackets; identifiers (the empty one included) do not.
      {"{[0] = 1}", "{ \n  [0] = 1,\n}"}, {"{['1a'] = 1}", "{ \n  [\"1a\"] = 1,\n}"}, {"{[''] = 1}", "{ \n   = 1,\n}"},
      // Keys of the array part are not repeated; a key within 0.000001 of one is taken for it.
      {"{1, 2, [3] = 3}", "{ 1, 2, 3,  }"}, {"{10, [1.0000001] = 5}", "{ 10,  }"}, {"{10, [1.5] = 5}", "{ 10, \n  [1.5] = 5,\n}"},
      // The same table twice is no cycle; a cycle's marker counts back from the innermost table.
      {"local s = {1} return {s, s}", "{ \n  { 1,  }, \n  { 1,  }, \n}"},
      {"local t = {} t.c = {p = t} return t", "{ \n  c = { \n        p = { [-2]... },\n  },\n}"},
      // A long array wraps at column 80 under its first element.
      {"local t = {} for i = 100, 129 do t[#t + 1] = i end return t",
       "{ 100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112, 113, 114, 115, \n"
       "  116, 117, 118, 119, 120, 121, 122, 123, 124, 125, 126, 127, 128, 129,  }"},
      // "__tostring" decides the text of any value; an error in it stands in its place.
      {"{setmetatable({}, {__tostring = function() return 'T' end})}", "{ \n  T, \n}"},
      {"setmetatable({}, {__tostring = function() return {} end})", "'__tostring' must return a string"},
      {"setmetatable({1, nil, 3}, {__index = function() error('no index', 0) end})", "no index"},
  };
  for (const auto& [code, text] : cases) EXPECT_EQ(render(code), text) << code;
  // 40 tables each holding the next: the 34th starts past column 64 and is cut short.
  std::string expected = "{ ";
  for (int k = 2; k <= 33; ++k) expected += "\n" + spaces(2 * (k - 1)) + "{ ";
  expected += "\n" + spaces(66) + "{ ... }, ";
  for (int k = 33; k >= 1; --k) expected += "\n" + spaces(2 * (k - 1)) + "}" + (k > 1 ? ", " : "");
  EXPECT_EQ(render("local t = {} for i = 1, 39 do t = {t} end return t"), expected);
}

// References show their address; the stack stays as it was, whichever index names the value.
TEST_F(LuaPrinter, RendersReferencesByAddress) {
  EXPECT_TRUE(std::regex_match(render("print"), std::regex("<function: 0x[0-9a-f]+>")));
  EXPECT_TRUE(std::regex_match(render("io.stdout"), std::regex(R"(file \(0x[0-9a-f]+\))")));
  lua_pushlightuserdata(L, &buffer);
  EXPECT_EQ(lua_value_to_text(L, -1, buffer), "");
  lua_pushinteger(L, 3);
  EXPECT_EQ(lua_value_to_text(L, 2, buffer), "3");
  EXPECT_EQ(lua_gettop(L), 2);
}

// Bold marks names without counting towards the width: without its escape sequences a bold
// rendering is the plain one, wrapping included.
TEST_F(LuaPrinter, BoldMarksNames) {
  EXPECT_EQ(render("local t = {} t.self = t return t", true),
            "{ \n  \x1b[1mself\x1b[22m = { \x1b[1m[-1]...\x1b[22m },\n}");
  push("local t = {} for i = 1, 30 do t[i] = (i % 2 == 0) end t.k = {deep = {x = 1}} return t");
  std::string bold = lua_value_render(L, -1, buffer, true);
  std::string plain = lua_value_to_text(L, -1, buffer);
  EXPECT_EQ(std::regex_replace(bold, std::regex("\x1b\\[[0-9;]*m"), ""), plain);
  EXPECT_NE(plain.find("\n  "), std::string::npos);  // it did wrap
  EXPECT_EQ(render("1"), "1");  // the buffer starts afresh
}

}  // namespace
