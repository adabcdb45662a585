#include "shell/command_table.h"

#include <gtest/gtest.h>

#include "datamodel/navigation.h"
#include "shell/test_client.h"
#include "link/login.h"
#include "shell/login_commands.h"
#include "datamodel/listing.h"
#include "datamodel/set.h"
#include "datamodel/values.h"
#include "shell/help.h"
#include "shell/presentation.h"

namespace {

// Handlers that tell which was called, and with which name.
std::string g_called;
int shell_handler(Client&, const std::string& name, json_t*) { return g_called = "shell " + name, 7; }
int request_handler(Client&, const std::string& name, json_t*) { return g_called = "request " + name, 8; }

// A handler that fails a request (as a refused `save` or `set` does: the error printed) and then
// gives the status its name tells, or, named "ok", one whose requests succeed.
int failed_then(Client& client, const std::string& name, json_t*) {
  if (name == "ok") return 0;
  ++client.session.failed_requests;
  return std::stoi(name);
}

// Two rows share a method (the first wins); one runs only in the shell, one has no handler; the
// last ones fail a request.
constexpr CommandEntry kRows[] = {
    command_row({.name = "cat", .method = "GetParameterValues", .id = 2, .handler = shell_handler,
                 .request_handler = request_handler}),
    command_row({.name = "cd", .id = 4, .handler = shell_handler}),
    command_row({.name = "get", .method = "GetParameterValues", .id = 2,
                 .handler = shell_handler, .request_handler = request_handler}),
    command_row({.name = "help", .id = 14, .handler = shell_handler}),
    command_row({.name = "later", .method = "Later", .id = 50}),
    command_row({.name = "0", .id = 60, .handler = failed_then, .request_handler = failed_then}),
    command_row({.name = "5", .id = 61, .handler = failed_then, .request_handler = failed_then}),
    command_row({.name = "-2", .id = 62, .handler = failed_then, .request_handler = failed_then}),
    command_row({.name = "ok", .id = 63, .handler = failed_then, .request_handler = failed_then}),
};

// The first row whose name or method is the word, with a handler for the mode, runs.
TEST(CommandDispatch, NamesTheHandlerAndReportsUnknownWords) {
  testing_support::ShellTestClient t;
  k::Json args = k::Json::take(json_array());
  const std::tuple<bool, const char*, int, const char*, const char*> cases[] = {
      // Request mode or not, the word, the status, what the handler saw, what is printed. The
      // shell passes the row's name; request mode the word as typed.
      {false, "GetParameterValues", 7, "shell cat", ""}, {true, "GetParameterValues", 8, "request GetParameterValues", ""},
      {false, "?", 7, "shell help", ""}, {true, "get", 8, "request get", ""},
      {false, "Later", -1, "", "Later: command not found.\n"},  // a row without handlers
      {false, "CD", -1, "", "CD: command not found.\n"}, {false, "c", -1, "", "c: command not found.\n"},
      {true, "cd", -1, "", "cd: unknown method.\n"},
  };
  for (const auto& [request, word, status, called, printed] : cases) {
    g_called.clear();
    EXPECT_EQ(request ? request_dispatch(kRows, t.shell, word, args.get()) : command_dispatch(kRows, t.shell, word, args.get()),
              status) << word;
    EXPECT_EQ(t.text(), printed) << word;
    EXPECT_EQ(g_called, called) << word;
  }
}

// Strict mode turns a success during which a request failed into -1, in both dispatchers; a
// failure keeps its own status, and without strict mode every status stays.
TEST(CommandDispatch, StrictModeFailsACommandWhoseRequestFailed) {
  const std::tuple<const char*, int, int> cases[] = {{"0", 0, -1}, {"5", 5, -1}, {"-2", -2, -2}, {"ok", 0, 0}};
  testing_support::ShellTestClient t;
  k::Json args = k::Json::take(json_array());
  for (bool strict : {false, true}) {
    t.session.strict = strict;
    for (const auto& [word, normal, strict_status] : cases) {
      const int want = strict ? strict_status : normal;
      EXPECT_EQ(command_dispatch(kRows, t.shell, word, args.get()), want) << word << strict;
      EXPECT_EQ(request_dispatch(kRows, t.shell, word, args.get()), want) << word << strict;
    }
  }
}

int noop(Client&, const std::string&, json_t*) { return 0; }

// What the schema cache was like when a command ran.
unsigned g_generation_seen = 0;
int note_generation(Client& client, const std::string&, json_t*) { return g_generation_seen = client.view.user_generation, 0; }

// The cache is each user's own: a command that changed the user leaves the new user's top level
// fetched and the position at its root, after veld was told; a change of user made elsewhere is
// caught up with before the next command runs.
TEST(CommandDispatch, TheSchemaCacheFollowsTheUser) {
  static constexpr CommandEntry kUserRows[] = {
      command_row({.name = "cd", .id = 4, .handler = cmd_cd}),
      command_row({.name = "login", .id = 18, .handler = cmd_login}),
      command_row({.name = "probe", .id = 99, .handler = note_generation}),
  };
  const char* kAskAccess = R"(GetParameterValues {"ParameterNames":["Device.Users.SystemAccess"]})";
  const char* fetch_top = R"(GetParameterAttributes {"ParameterNames":["."],"Depth":1})";
  k::test::ScriptedDaemon daemon({{R"(Login {"Username":"admin","Password":"pw"})", R"({"Status":0})"},
                                  {fetch_top, R"({"ParameterList":[{"Name":"Device.","Attributes":{"type":"object"}}]})"}});
  testing_support::ShellTestClient t{testing_support::kWithCache};
  t.session.requests.set_destination(daemon.path());
  auto run = [&](const char* word, std::vector<const char*> words) {
    return command_dispatch(kUserRows, t.shell, word, testing_support::args(words).get());
  };
  ASSERT_EQ(run("cd", {"Device.Hosts"}), 0);
  EXPECT_EQ(daemon.take_requests(), std::vector<std::string>{});  // the same user: nothing asked

  ASSERT_EQ(run("login", {"admin", "-p", "pw"}), 0);
  EXPECT_EQ(daemon.take_requests(), (std::vector<std::string>{R"(Login {"Username":"admin","Password":"pw"})", kAskAccess, fetch_top}));
  EXPECT_TRUE(t.view.current_path.text.empty() && t.at("Device") && !t.at("Device.Hosts"));  // the previous user's tree is gone
  set_current_user(t.session, std::nullopt);  // as an abandoned command may leave it
  ASSERT_EQ(run("probe", {}), 0);
  EXPECT_EQ(g_generation_seen, t.session.user_generation);
  EXPECT_EQ(daemon.take_requests(), std::vector<std::string>{fetch_top});
}

// Every command prints on its context's stream (the configuration script's /dev/null, a test's
// file), never on standard output: a print left on standard output would reach the terminal
// from a silent configuration script.
TEST(CommandOutput, GoesToTheContextsStreamOnly) {
  // The handler, its words, part of what it prints (its name is "x").
  const struct { CommandHandler handler; std::vector<const char*> words; const char* printed; } cases[] = {
      {cmd_cd, {"-"}, ":\n"}, {cmd_pwd, {}, ""}, {cmd_ls, {"Device.Time"}, "Mask"},
      {cmd_tree, {"Device.Time"}, "Device.Time"}, {cmd_cat, {"Device.Nowhere"}, "x: Device.Nowhere: no such node"},
      {cmd_set, {"Device.Time.Mode"}, "x: Device.Time.Mode: no value."}, {cmd_color, {"hint"}, "120 100 55\n"},
      {cmd_opt, {"hint"}, "syntax: x"}, {cmd_clear, {}, "\033[2J"},
  };
  for (const auto& c : cases) {
    testing_support::ShellTestClient t{testing_support::kWithCache};
    k::Json words = testing_support::args(c.words);
    EXPECT_EQ(output_of([&] { c.handler(t.shell, "x", words.get()); }), "") << c.printed;
    std::string printed = t.text();
    EXPECT_NE(printed.find(c.printed), std::string::npos) << printed;
  }
}

TEST(Help, ListsRowsWithHandlerUsageAndDescriptionSortedAndPadded) {
  constexpr CommandEntry rows[] = {
      command_row({.name = "up", .id = 39, .handler = noop, .usage = "up [<levels>]", .description = "cd to upper level node"}),
      command_row({.name = "cd", .id = 4, .handler = noop, .usage = "cd <path>", .description = "cd to the node"}),
      command_row({.name = "debug", .id = 8, .handler = noop}),  // no usage: not listed
      command_row({.name = "attr", .id = 15, .usage = "attr [<path1> <path2>...]", .description = "show node's attributes"}),
  };
  TestStream out;
  help_print(rows, k::ColourTable{}, out.file);
  EXPECT_EQ(out.text(), "cd <path>     - cd to the node\nup [<levels>] - cd to upper level node\n");
  help_print(CommandTable(rows).subspan(2), k::ColourTable{}, out.file);  // the last has no handler
  EXPECT_EQ(out.text(), "No available help. Please refer to #15692\n");
}

}  // namespace
