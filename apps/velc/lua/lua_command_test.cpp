#include "lua/lua_command.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "shell/test_client.h"
#include "lua/lua_preload.h"
#include "lua/lua_record.h"
#include "lua/lua_runner.h"
#include "platform/json.h"
#include "testing/stdout_capture.h"
#include "testing/temp_dir.h"

namespace {

// A client that is never connected: `lua` sends nothing by itself.
using Offline = testing_support::ShellTestClient;

k::Json words(std::initializer_list<const char*> list) {
  k::Json a = k::Json::take(json_array());
  for (const char* w : list) json_array_append_new(a.get(), json_string(w));
  return a;
}

// The statement is echoed (each word and a blank), then its output or its error. (The shell's
// own cases, a fresh interpreter each time and the Lua shell, are the e2e tests'.)
TEST(LuaCommand, OneStatement) {
  struct Case {
    k::Json args;
    int status;
    std::string out;
    bool strict = false;
  };
  const Case cases[] = {
      {words({"print(1,", "2)"}), 0, "print(1, 2) \n1\t2\n"},
      {words({"io.write('no newline')"}), 0, "io.write('no newline') \nno newline"},
      // What was printed before the error stays, before it.
      {words({"io.write('a')", "error('b',", "0)"}), 0,
       "io.write('a') error('b', 0) \naLUA ERROR: b\nstack traceback:\n\t[C]: in function 'error'\n"
       "\t[string \"io.write('a') error('b', 0) \"]:1: in main chunk\n"},
      {words({"x", "="}), 0, "x = \nLUA ERROR: [string \"x = \"]:1: unexpected symbol near <eof>\n"},
      // Under strict mode an error fails the command.
      {words({"x", "="}), -1, "x = \nLUA ERROR: [string \"x = \"]:1: unexpected symbol near <eof>\n",
       true},
      {words({"print(2)"}), 0, "print(2) \n2\n", true},
  };
  for (const Case& c : cases) {
    Offline o;
    o.session.strict = c.strict;
    int r = 0;
    std::string out = output_of([&] { r = cmd_lua(o.shell, "lua", c.args.get()); });
    EXPECT_EQ(r, c.status) << out;
    EXPECT_EQ(out, c.out);
  }
}

// Each loadable entry of the module folder is required as "norlan.<entry>" (".so" cut), in the
// order of the names, and becomes a global; the rest are skipped without a word.
TEST(LuaPreload, LoadsTheModuleFolder) {
  k::test::TempDir dir;
  std::filesystem::create_directory(dir.file("greet"));
  std::ofstream(dir.file("greet/init.lua")) << "return {hello = 'hi'}\n";
  std::ofstream(dir.file("broken")) << "return = 1\n";  // resolves to nothing: no X.lua
  std::ofstream(dir.file("plain.lua")) << "return 1\n";  // norlan.plain.lua: no such module
  std::filesystem::create_directory(dir.file("bad"));
  std::ofstream(dir.file("bad/init.lua")) << "error('no')\n";
  std::filesystem::create_directory(dir.file("another"));
  std::ofstream(dir.file("another/init.lua")) << "return 2\n";
  setenv("VELC_LUA_MODULES", dir.path().c_str(), 1);
  k::LuaContext ctx;
  std::vector<std::string> loaded;
  std::string out = output_of([&] { loaded = lua_preload_modules(ctx.state()); });
  EXPECT_EQ(out, "> preloaded another\n> preloaded greet\n");
  EXPECT_EQ(loaded, (std::vector<std::string>{"another", "greet"}));
  EXPECT_EQ(output_of([&] {
              ASSERT_EQ(ctx.exec("print(greet.hello, package.loaded['norlan.greet'] == greet, "
                                 "another, bad)"),
                        0)
                  << ctx.error();
            }),
            "hi\ttrue\t2\tnil\n");

  setenv("VELC_LUA_MODULES", dir.file("none").c_str(), 1);
  EXPECT_EQ(output_of([&] { lua_preload_modules(ctx.state()); }), "");
  unsetenv("VELC_LUA_MODULES");
}

// A recorded Lua session runs as a script as it ran in the Lua shell: the preloaded modules are
// globals again, expressions typed alone print their values, and a statement that did not
// compile is a comment.
TEST(LuaRecord, RunsAsAScript) {
  std::string script;
  for (const std::string& line : lua_record_preamble({"m", "odd-name"})) script += line + "\n";
  const struct {
    const char* text;
    bool expression;
    bool compiled;
  } statements[] = {
      {"x = m.base + 1", false, true},
      {"x, 'two' -- a comment", true, true},
      {"print('three')", true, true},  // no values: nothing more is printed
      {"x = = 1\ny = 2", false, false},
      {"for i = 1, 2 do\n  io.write(i)\nend", false, true},
      {"_ENV['odd-name']", true, true},
  };
  for (const auto& s : statements)
    script += lua_record_statement(s.text, s.expression, s.compiled) + "\n";

  k::test::TempDir dir;
  std::filesystem::create_directory(dir.file("m"));
  std::ofstream(dir.file("m/init.lua")) << "return {base = 41}\n";
  std::filesystem::create_directory(dir.file("odd-name"));
  std::ofstream(dir.file("odd-name/init.lua")) << "return 'odd'\n";
  setenv("VELC_LUA_MODULES", dir.path().c_str(), 1);
  k::LuaContext ctx;
  std::string out = output_of([&] { ASSERT_EQ(ctx.exec(script), 0) << ctx.error() << script; });
  unsetenv("VELC_LUA_MODULES");
  EXPECT_EQ(out, "42\ttwo\nthree\n12odd\n");
}

}  // namespace
