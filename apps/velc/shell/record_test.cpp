// The recorder and `record`: its messages and statuses, the file it makes, and what a finished
// recording writes.
#include "shell/record.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "datamodel/resolve.h"
#include "shell/test_client.h"
#include "platform/history.h"

namespace {

using testing_support::ShellTestClient;

std::string read(const std::string& path) { return (std::stringstream() << std::ifstream(path).rdbuf()).str(); }

// Replaces every "{d}" by the test's folder.
std::string in_dir(std::string text, const std::string& dir) {
  for (size_t at; (at = text.find("{d}")) != std::string::npos;) text.replace(at, 3, dir);
  return text;
}

// The arguments, whether a recording into {d}/old is active before, what is printed, the status,
// and the file recorded into afterwards (null: none).
struct Case { std::vector<std::string> args; bool recording; std::string output; int status; const char* file_after; };
const std::string kSyntax = "syntax: record <filename>|abort\n";
const Case kCases[] = {
    {{}, false, kSyntax, -1, nullptr}, {{"a", "b"}, true, kSyntax, -1, "{d}/old"},
    {{"abort"}, false, "record: no record found.\n", -1, nullptr}, {{"abort"}, true, "", 0, nullptr},
    {{"{d}/new"}, false, "", 0, "{d}/new"}, {{"{d}/new"}, true, "record: already recording.\n", -1, "{d}/old"},
    {{"{d}/no/such"}, false, "record: can't create record file {d}/no/such.\n", -1, nullptr},
    {{"{d}/link"}, false, "record: can't create record file {d}/link.\n", -1, nullptr},  // planted
};

class RecordCommand : public testing::Test {
 protected:
  void SetUp() override { k::history_clear(); }
  void TearDown() override { k::history_clear(); }
  k::test::TempDir dir_;
};

TEST_F(RecordCommand, PrintsGivesAndRecords) {
  const std::string& d = dir_.path();
  std::ofstream(d + "/target") << "precious\n";
  ASSERT_EQ(symlink((d + "/target").c_str(), (d + "/link").c_str()), 0);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.output + in_dir(c.args.empty() ? "" : c.args[0], d));
    unlink((d + "/new").c_str());
    ShellTestClient t;
    RecordState record;
    t.shell.record = &record;
    if (c.recording) record_start(record, d + "/old");
    k::Json args = k::Json::take(json_array());
    for (const std::string& a : c.args) json_array_append_new(args.get(), json_string(in_dir(a, d).c_str()));
    EXPECT_EQ(cmd_record(t.shell, "record", args.get()), c.status);
    EXPECT_EQ(t.text(), in_dir(c.output, d));
    EXPECT_EQ(recording_active(record) ? record.file_name : "(none)", in_dir(c.file_after ? c.file_after : "(none)", d));
    EXPECT_EQ(read(d + "/target"), "precious\n");
    // A file is made only by a recording that starts, empty and private.
    struct stat st {};
    EXPECT_EQ(stat((d + "/new").c_str(), &st) == 0, c.status == 0 && c.file_after);
    if (c.status == 0 && c.file_after) {
      EXPECT_EQ(read(d + "/new"), "");
      EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
  }
}

// The command shows the name it was run with; outside the shell there is nothing to record.
TEST_F(RecordCommand, NameAndNoShell) {
  ShellTestClient t;
  EXPECT_EQ(t.run(cmd_record, "luarecord", {}), "-1 syntax: luarecord <filename>|abort\n");
  const std::string f = dir_.file("f");
  EXPECT_EQ(t.run(cmd_record, "record", {f.c_str()}), "-1 record: only the interactive shell can be recorded.\n");
  EXPECT_FALSE(std::filesystem::exists(f));
}

// A finished recording holds the lines recorded since it began, in order, and replaces what the
// file held; a recording that recorded nothing leaves it empty.
TEST_F(RecordCommand, FinishWritesTheRecordedLines) {
  RecordState record;
  std::string file = dir_.file("rec");
  std::ofstream(file) << "older content\n";
  record_line(record, "before");  // not recording: not recorded
  record_start(record, file);
  EXPECT_EQ(record_prompt_tag(record), "-record");
  for (const char* line : {"cat Device.", "for i = 1, 2 do\n  print(i)\nend"}) record_line(record, line);
  record_finish(record);
  EXPECT_FALSE(recording_active(record));
  EXPECT_EQ(record_prompt_tag(record), "");
  EXPECT_EQ(read(file), "cat Device.\nfor i = 1, 2 do\n  print(i)\nend\n");

  record_start(record, file);
  record_finish(record);
  EXPECT_EQ(read(file), "");
  // A file that cannot be written any more stops the recording all the same.
  record_start(record, dir_.file("gone/rec"));
  record_finish(record);
  EXPECT_FALSE(recording_active(record));
}

int no_op(Client&, const std::string&, json_t*) { return 0; }

// A row of a command that script mode has too.
constexpr CommandEntry script_row(const char* name, uint32_t id, CompletionKind kind, bool needs_cache,
                                  bool at_position = false) {
  return command_row({.name = name, .id = id, .handler = no_op, .request_handler = no_op,
                      .needs_cache = needs_cache, .at_position = at_position, .completion = kind});
}

// A recorded shell line replays in script mode: commands that script mode lacks become comments,
// paths are written from the root as the position resolved them, and a command that works on
// the position without a path gets it.
TEST(RecordShellLine, ReplaysFromTheRoot) {
  using enum CompletionKind;
  static constexpr CommandEntry kRows[] = {
      command_row({.name = "cd", .id = 4, .handler = no_op, .needs_cache = true, .completion = kObjectPath}),
      script_row("cat", 2, kPath, true, true), script_row("ls", 21, kPath, true, true),
      script_row("del", 7, kPath, true), script_row("set", 35, kWritablePath, true),
      script_row("execute", 12, kMethodInput, true), script_row("select", 34, kPath, false),
  };
  const std::tuple<const char*, const char*, const char*> cases[] = {
      // Where the line was typed, the line, what is recorded.
      {"Device", "cd Hosts", "# cd Hosts"},
      {"Device.Hosts", "cat host.1.hostname Host.9 :Device.Time.", "cat Device.Hosts.Host.1.HostName Host.9 Device.Time."},
      // Each path is replaced where it was typed, after a quoted word too.
      {"Device.Hosts", "  cat 'a b'\thost.1 # c", "  cat 'a b'\tDevice.Hosts.Host.1. # c"},
      {"Device.Hosts", "ls -l  # long", "ls -l Device.Hosts.  # long"},
      {"", "ls", "ls"}, {"Device.Hosts.Host", "ls <", "ls Device.Hosts."},
      {"Device.Hosts", "del", "del"},  // no path: nothing is added to a command that needs one
      {"Device.Hosts.Host.1", "set HostName=\"a=b\" Flags=3", "set Device.Hosts.Host.1.HostName=\"a=b\" Device.Hosts.Host.1.Flags=3"},
      {"Device", "execute IP.Ping Host=x", "execute Device.IP.Ping Host=x"},
      {"Device", "select Hosts.Host.[HostName=a]", "select Hosts.Host.[HostName=a]"},
  };
  for (const auto& [position, line, recorded] : cases) {
    ShellTestClient t{testing_support::kWithCache};
    if (*position) { ASSERT_EQ(cdpath_resolve(t.shell, t.view.current_path, position), 0) << position; }
    EXPECT_EQ(record_shell_line(kRows, t.shell, line), recorded) << line;
  }
}

}  // namespace
