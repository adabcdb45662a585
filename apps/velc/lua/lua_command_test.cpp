#include "lua/lua_command.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "lua/lua_preload.h"
#include "platform/json.h"
#include "platform/lua_runner.h"
#include "platform/stdout_capture.h"
#include "platform/temp_dir.h"

namespace {

// A client that is never connected: `lua` sends nothing by itself.
struct Offline {
  Session session;
  DataModelView view;
  k::ColourTable colours;
  k::EditorSwitches editor;
  Client client{session, view, colours, editor};
};

k::Json words(std::initializer_list<const char*> list) {
  k::Json a = k::Json::take(json_array());
  for (const char* w : list) json_array_append_new(a.get(), json_string(w));
  return a;
}

// The statement is echoed (each word and a blank), then its output or its error; a fresh
// interpreter each time. (Without arguments `lua` is the Lua shell: see the e2e tests.)
TEST(LuaCommand, OneStatement) {
  struct Case {
    k::Json args;
    int status;
    std::string out;
  };
  const Case cases[] = {
      {words({"print(1)"}), 0, "print(1) \n1\n"},
      {words({"print(1,", "2)"}), 0, "print(1, 2) \n1\t2\n"},
      {words({"io.write('no newline')"}), 0, "io.write('no newline') \nno newline"},
      {words({"x = 1"}), 0, "x = 1 \n"},
      {words({"print(x)"}), 0, "print(x) \nnil\n"},  // the last one's globals are gone
      {words({"error('x')"}), 0,
       "error('x') \nLUA ERROR: [string \"error('x') \"]:1: x\nstack traceback:\n"
       "\t[C]: in function 'error'\n\t[string \"error('x') \"]:1: in main chunk\n"},
      // What was printed before the error stays, before it.
      {words({"io.write('a')", "error('b',", "0)"}), 0,
       "io.write('a') error('b', 0) \naLUA ERROR: b\nstack traceback:\n\t[C]: in function 'error'\n"
       "\t[string \"io.write('a') error('b', 0) \"]:1: in main chunk\n"},
      {words({"x", "="}), 0, "x = \nLUA ERROR: [string \"x = \"]:1: unexpected symbol near <eof>\n"},
  };
  for (const Case& c : cases) {
    Offline o;
    int r = 0;
    std::string out = output_of([&] { r = lua_command(o.client, "lua", c.args.get()); });
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
  std::string out = output_of([&] { lua_preload_modules(ctx.state()); });
  EXPECT_EQ(out, "> preloaded another\n> preloaded greet\n");
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

}  // namespace
