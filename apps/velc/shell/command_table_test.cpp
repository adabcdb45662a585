#include "shell/command_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datamodel/navigation.h"
#include "shell/test_client.h"
#include "link/login.h"
#include "shell/login_commands.h"
#include "datamodel/listing.h"
#include "datamodel/set.h"
#include "datamodel/values.h"
#include "render/test_drain.h"
#include "shell/presentation.h"
#include "testing/stdout_capture.h"
#include "testing/test_peer.h"

namespace {

// Handlers that tell which was called, and with which name.
std::string g_called;
int shell_handler(Client&, const std::string& name, json_t*) {
  g_called = "shell " + name;
  return 7;
}
int request_handler(Client&, const std::string& name, json_t*) {
  g_called = "request " + name;
  return 8;
}

// Two rows share a method (the first wins); one runs only in the shell, one has no handler.
constexpr CommandEntry kRows[] = {
    command_row({.name = "cat", .method = "GetParameterValues", .id = 2, .handler = shell_handler,
                 .request_handler = request_handler}),
    command_row({.name = "cd", .id = 4, .handler = shell_handler}),
    command_row({.name = "get", .method = "GetParameterValues", .id = 2,
                 .handler = shell_handler, .request_handler = request_handler}),
    command_row({.name = "help", .id = 14, .handler = shell_handler}),
    command_row({.name = "later", .method = "Later", .id = 50}),
};

TEST(CommandLookup, FindsTheFirstRowWithAHandlerForTheMode) {
  struct {
    const char* word;
    const char* shell_row;    // the row the shell finds, or null
    const char* request_row;  // the row request mode finds, or null
  } cases[] = {
      {"?", "help", nullptr}, {"help", "help", nullptr}, {"cd", "cd", nullptr},
      {"GetParameterValues", "cat", "cat"}, {"get", "get", "get"},
      {"later", nullptr, nullptr}, {"Later", nullptr, nullptr},  // a row without handlers
      {"CD", nullptr, nullptr}, {"c", nullptr, nullptr}, {"", nullptr, nullptr},
  };
  for (const auto& c : cases) {
    const CommandEntry* shell = command_find(kRows, c.word);
    const CommandEntry* request = command_find_request(kRows, c.word);
    EXPECT_STREQ(shell ? shell->name : nullptr, c.shell_row) << c.word;
    EXPECT_STREQ(request ? request->name : nullptr, c.request_row) << c.word;
  }
}

TEST(CommandDispatch, NamesTheHandlerAndReportsUnknownWords) {
  testing_support::ShellTestClient t;
  Client& client = t.shell;
  k::Json args = k::Json::take(json_array());
  struct {
    bool request;
    const char* word;
    int status;
    const char* called;   // what the handler saw, or empty when none ran
    const char* printed;
  } cases[] = {
      // The shell passes the row's name; request mode the word as typed.
      {false, "GetParameterValues", 7, "shell cat", ""},
      {false, "?", 7, "shell help", ""},
      {true, "GetParameterValues", 8, "request GetParameterValues", ""},
      {false, "LS", -1, "", "LS: command not found.\n"},
      {false, "later", -1, "", "later: command not found.\n"},
      {true, "cd", -1, "", "cd: unknown method.\n"},
      {true, "?", -1, "", "?: unknown method.\n"},
  };
  for (const auto& c : cases) {
    g_called.clear();
    int status = 0;
    std::string out = output_of([&] {
      status = c.request ? request_dispatch(kRows, client, c.word, args.get())
                         : command_dispatch(kRows, client, c.word, args.get());
    });
    EXPECT_EQ(out, c.printed) << c.word;
    EXPECT_EQ(status, c.status) << c.word;
    EXPECT_EQ(g_called, c.called) << c.word;
  }
}

// Handlers that fail a request (as a refused `save` or `set` does: the error printed) and then
// give 0, an instance number, or a failure of their own; and one whose requests succeed.
int failed_then(Client& client, int status) {
  ++client.session.failed_requests;
  return status;
}
int failed_zero(Client& c, const std::string&, json_t*) { return failed_then(c, 0); }
int failed_positive(Client& c, const std::string&, json_t*) { return failed_then(c, 5); }
int failed_negative(Client& c, const std::string&, json_t*) { return failed_then(c, -2); }
int all_fine(Client&, const std::string&, json_t*) { return 0; }

// Strict mode turns a success during which a request failed into -1, in both dispatchers; a
// failure keeps its own status, and without strict mode every status stays.
TEST(CommandDispatch, StrictModeFailsACommandWhoseRequestFailed) {
  static constexpr CommandEntry kStrictRows[] = {
      command_row({.name = "zero", .id = 60, .handler = failed_zero,
                   .request_handler = failed_zero}),
      command_row({.name = "positive", .id = 61, .handler = failed_positive,
                   .request_handler = failed_positive}),
      command_row({.name = "negative", .id = 62, .handler = failed_negative,
                   .request_handler = failed_negative}),
      command_row({.name = "fine", .id = 63, .handler = all_fine, .request_handler = all_fine}),
  };
  const struct {
    const char* word;
    int normal, strict;
  } cases[] = {{"zero", 0, -1}, {"positive", 5, -1}, {"negative", -2, -2}, {"fine", 0, 0}};
  testing_support::ShellTestClient t;
  k::Json args = k::Json::take(json_array());
  for (bool strict : {false, true}) {
    t.session.strict = strict;
    for (const auto& c : cases) {
      EXPECT_EQ(command_dispatch(kStrictRows, t.shell, c.word, args.get()),
                strict ? c.strict : c.normal)
          << c.word << strict;
      EXPECT_EQ(request_dispatch(kStrictRows, t.shell, c.word, args.get()),
                strict ? c.strict : c.normal)
          << c.word << strict;
    }
  }
}

// What the schema cache was like when a command ran.
unsigned g_generation_seen = 0;
int note_generation(Client& client, const std::string&, json_t*) {
  g_generation_seen = client.view.user_generation;
  return 0;
}

// The cache is each user's own: a command that changed the user leaves the new user's top level
// fetched and the position at its root, after veld was told; a change of user made elsewhere is
// caught up with before the next command runs.
TEST(CommandDispatch, TheSchemaCacheFollowsTheUser) {
  static constexpr CommandEntry kUserRows[] = {
      command_row({.name = "cd", .id = 4, .handler = cmd_cd}),
      command_row({.name = "login", .id = 18, .handler = cmd_login}),
      command_row({.name = "probe", .id = 99, .handler = note_generation}),
  };
  const char* fetch_top = R"(GetParameterAttributes {"ParameterNames":["."],"Depth":1})";
  k::test::ScriptedDaemon daemon(
      {{R"(Login {"Username":"admin","Password":"pw"})", R"({"Status":0})"},
       {fetch_top, R"({"ParameterList":[{"Name":"Device.","Attributes":{"type":"object"}}]})"}});
  testing_support::ShellTestClient t;
  t.load_schema();
  t.session.requests.set_destination(daemon.path());
  auto run = [&](const char* word, std::vector<const char*> words) {
    k::Json args = testing_support::args(words);
    StdoutCapture out;
    return command_dispatch(kUserRows, t.shell, word, args.get());
  };

  ASSERT_EQ(run("cd", {"Device.Hosts"}), 0);
  EXPECT_EQ(t.view.current_path.text, "Device.Hosts");
  EXPECT_EQ(daemon.take_requests(), std::vector<std::string>{});  // the same user: nothing asked

  ASSERT_EQ(run("login", {"admin", "-p", "pw"}), 0);
  EXPECT_EQ(daemon.take_requests(),
            (std::vector<std::string>{
                R"(Login {"Username":"admin","Password":"pw"})",
                R"(GetParameterValues {"ParameterNames":["Device.Users.SystemAccess"]})",
                fetch_top}));
  EXPECT_EQ(t.view.current_path.text, "");
  EXPECT_EQ(t.view.user_generation, t.session.user_generation);
  EXPECT_TRUE(t.at("Device"));
  EXPECT_FALSE(t.at("Device.Hosts"));  // the previous user's tree is gone

  set_current_user(t.session, std::nullopt);  // as an abandoned command may leave it
  ASSERT_EQ(run("probe", {}), 0);
  EXPECT_EQ(g_generation_seen, t.session.user_generation);
  EXPECT_EQ(daemon.take_requests(), std::vector<std::string>{fetch_top});
}

// Every command prints on its context's stream (the configuration script's /dev/null, a test's
// file), never on standard output: a print left on standard output would reach the terminal
// from a silent configuration script.
TEST(CommandOutput, GoesToTheContextsStreamOnly) {
  const struct {
    CommandHandler handler;
    std::vector<const char*> words;
    const char* printed;  // part of what the command prints (its name is "x")
  } cases[] = {
      {cmd_cd, {"-"}, ":\n"},
      {cmd_pwd, {}, ""},
      {cmd_ls, {"Device.Time"}, "Mask"},
      {cmd_tree, {"Device.Time"}, "Device.Time"},
      {cmd_cat, {"Device.Nowhere"}, "x: Device.Nowhere: no such node"},
      {cmd_set, {"Device.Time.Mode"}, "x: Device.Time.Mode: no value."},
      {cmd_color, {"hint"}, "120 100 55\n"},
      {cmd_opt, {"hint"}, "syntax: x"},
      {cmd_clear, {}, "\033[2J"},
  };
  for (const auto& c : cases) {
    testing_support::ShellTestClient t;
    t.load_schema();
    TestStream out;
    t.shell.out = out.file;
    k::Json words = testing_support::args(c.words);
    EXPECT_EQ(output_of([&] { c.handler(t.shell, "x", words.get()); }), "") << c.printed;
    std::string printed = out.text();
    EXPECT_NE(printed.find(c.printed), std::string::npos) << printed;
  }
}

}  // namespace
