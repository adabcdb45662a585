#include "lua/lua_command.h"

#include <gtest/gtest.h>

#include <fstream>

#include "shell/test_client.h"
#include "lua/lua_preload.h"
#include "lua/lua_record.h"
#include "lua/lua_runner.h"
#include "testing/temp_dir.h"

namespace {

using testing_support::args;

// The statement is echoed (each word and a blank), then its output or its error; what was
// printed before the error stays before it. Under strict mode an error fails the command.
TEST(LuaCommand, OneStatement) {
  const std::string kSyntaxError = "x = \nLUA ERROR: [string \"x = \"]:1: unexpected symbol near <eof>\n";
  const struct { std::vector<const char*> words; bool strict; int status; std::string out; } cases[] = {
      {{"print(1,", "2)"}, true, 0, "print(1, 2) \n1\t2\n"},
      {{"io.write('a')", "error('b',", "0)"}, false, 0,
       "io.write('a') error('b', 0) \naLUA ERROR: b\nstack traceback:\n\t[C]: in function 'error'\n"
       "\t[string \"io.write('a') error('b', 0) \"]:1: in main chunk\n"},
      {{"x", "="}, false, 0, kSyntaxError}, {{"x", "="}, true, -1, kSyntaxError},
  };
  for (const auto& c : cases) {
    testing_support::ShellTestClient o;  // never connected: `lua` sends nothing by itself
    o.session.strict = c.strict;
    EXPECT_EQ(cmd_lua(o.shell, "lua", args(c.words).get()), c.status);
    EXPECT_EQ(o.text(), c.out);
  }
}

// "norlan.X" is found in the module folder (X.lua or X/init.lua) before Lua's own paths, and
// failures are reported as require reports them. Each loadable entry of the folder is preloaded,
// in the order of the names, and becomes a global; the rest are skipped without a word. A
// recorded Lua session runs as a script as it ran in the Lua shell: the preloaded modules are
// globals again, expressions typed alone print their values, and a statement that did not
// compile is a comment.
TEST(LuaPreload, LoadsTheModuleFolderAndARecordingReplays) {
  k::test::TempDir dir;
  for (auto [module, text] : {std::pair{"m", "return {base = 41}"}, {"bad", "error('no')"}, {"odd-name", "return 'odd'"}}) {
    std::filesystem::create_directory(dir.file(module));
    std::ofstream(dir.file(module) + "/init.lua") << text;
  }
  std::ofstream(dir.file("broken")) << "return = 1\n";  // resolves to nothing: no X.lua
  std::ofstream(dir.file("plain.lua")) << "return 1\n";  // norlan.plain.lua: no such module
  setenv("VELC_LUA_MODULES", dir.path().c_str(), 1);
  EXPECT_EQ(k::lua_module_dir(), dir.path());
  TestStream out;
  k::LuaContext ctx, replay;
  ctx.set_output(out.file);
  replay.set_output(out.file);
  std::vector<std::string> loaded = lua_preload_modules(ctx.state(), out.file);
  EXPECT_EQ(out.text(), "> preloaded m\n> preloaded odd-name\n");
  EXPECT_EQ(loaded, (std::vector<std::string>{"m", "odd-name"}));
  EXPECT_EQ(ctx.exec("print(m.base, package.loaded['norlan.m'] == m, bad, require('norlan.plain'))"), 0);
  EXPECT_EQ(out.text(), "41\ttrue\tnil\t1\n");
  ASSERT_NE(ctx.exec("require('norlan.broken')"), 0);
  EXPECT_NE(ctx.error().find("no module 'broken' in '" + dir.path() + "'"), std::string::npos) << ctx.error();
  std::ofstream(dir.file("broken.lua")) << "return = 1\n";
  ASSERT_NE(ctx.exec("require('norlan.broken')"), 0);
  EXPECT_NE(ctx.error().find("error loading module 'norlan.broken' from file '" + dir.file("broken.lua")), std::string::npos);

  std::string script;
  for (const std::string& line : lua_record_preamble(loaded)) script += line + "\n";
  const std::tuple<const char*, bool, bool> statements[] = {  // text, an expression, compiled
      {"x = m.base + 1", false, true},     {"x, 'two' -- a comment", true, true},
      {"print('three')", true, true},      // no values: nothing more is printed
      {"x = = 1\ny = 2", false, false},    {"for i = 1, 2 do\n  io.write(i)\nend", false, true},
      {"_ENV['odd-name']", true, true},
  };
  for (const auto& [text, expression, compiled] : statements)
    script += lua_record_statement(text, expression, compiled) + "\n";
  ASSERT_EQ(replay.exec(script), 0) << replay.error() << script;
  EXPECT_EQ(out.text(), "42\ttwo\nthree\n12odd\n");

  setenv("VELC_LUA_MODULES", dir.file("none").c_str(), 1);
  lua_preload_modules(ctx.state(), out.file);
  EXPECT_EQ(out.text(), "");
  unsetenv("VELC_LUA_MODULES");
  // Without the variable: the folder beside the program's (a build folder has one, as an
  // installation does).
  EXPECT_EQ(k::lua_module_dir(),
            std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "lib/lua/5.3/norlan");
}

}  // namespace
