// Tab and hints over a fixture cache and a temporary folder: each rule, where the typed fragment
// starts, and that completing asks veld nothing, prints nothing and never moves the position.
#include "shell/completion.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "datamodel/resolve.h"
#include "shell/test_client.h"
#include "platform/interrupt.h"

using testing_support::Strings;

namespace {

int noop(Client&, const std::string&, json_t*) { return 0; }

// One row of each rule. Not in name order: the first word is completed in table order.
using enum CompletionKind;
constexpr CommandEntry row(const char* name, uint32_t id, CompletionKind kind, const char* method = nullptr) {
  return command_row({.name = name, .method = method, .id = id, .handler = noop, .completion = kind});
}
constexpr CommandEntry kRows[] = {
    row("cd", 4, kObjectPath),   row("cat", 2, kPath, "GetParameterValues"),
    row("color", 6, kColourType), row("debug", 8, kDebugMode), row("download", 9, kDownload),
    row("execute", 12, kMethodInput), row("help", 14, kNone), row("opt", 25, kOption),
    row("order", 26, kFirstPath), row("set", 35, kWritablePath), row("record", 29, kRecord),
    row("reboot", 28, kReboot),  row("reset", 30, kDeviceMode), row("sh", 36, kCommand),
    row("upgrade", 40, kFile),
};

// A client at the root of the test cache, with a third host (12) to sort among the others;
// requests fail at once (nothing listens) until a FakeVeld is made on its session.
struct Fixture : testing_support::ShellTestClient {
  Fixture() : ShellTestClient(testing_support::kWithCache) {
    at("Device.Hosts.Host")->set_child("12", testing_support::node_from_json(VELC_TEST_HOST));
  }
  Strings complete(const std::string& line) { return complete_line(kRows, shell, line, line.size()); }
  std::optional<std::string> hint(const std::string& line) { return hint_line(kRows, shell, line); }
  void cd(const char* path) { ASSERT_EQ(cdpath_resolve(client, view.current_path, path), 0); }
};

// A typed line, its candidates, and the typed text each candidate replaces (null: not checked).
struct Case { const char* line; Strings candidates; const char* fragment = nullptr; };

// Runs the cases: the candidates, where they go, and never a word on the screen.
void run(Fixture& f, const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    EXPECT_EQ(f.complete(c.line), c.candidates) << c.line;
    EXPECT_EQ(f.text(), "") << c.line;
    if (c.fragment) {
      std::string line = c.line;
      EXPECT_EQ(line.substr(completion_fragment_start(line, c.candidates)), c.fragment) << c.line;
    }
  }
}

TEST(Completion, EachRule) {
  Fixture f;
  run(f, {
      {"", {"cd", "cat", "color", "debug", "download", "execute", "help", "opt", "order", "set",
            "record", "reboot", "reset", "sh", "upgrade"}},
      {"  re", {"record", "reboot", "reset"}, "re"}, {"GetParameter", {}},  // never a method's name
      // Paths (the names without regard to case), and "-" the previous position.
      {"cd dev", {"Device."}, "dev"}, {"cd Device.Hosts.", {"Host."}, ""}, {"cat -.", {"Device.", "Users."}},
      {"cat Device.Hosts.Host.", {"1.", "12.", "2.", "max_instance"}, ""}, {"cat :Device.Hosts.Host.1", {"1.", "12."}, "1"},
      {"cat \"Device.Hosts.Ho", {"Host.", "HostNumberOfEntries"}, "Ho"}, {"cat Device.Nowhere.", {}},
      {"cat Device.IP.", {"Ping."}}, {"order Device.Hosts.H", {"Host.", "HostNumberOfEntries"}}, {"order Device.Hosts.Host.1 ", {}},
      // Values after "=" (Locked is read-only), and a method's inputs.
      {"set Device.Radio.", {"Enable", "Server", "Standard"}, ""}, {"set Device.Radio.Enable=", {"true", "false"}, ""},
      {"set Device.Radio.Enable=\"t", {"true"}, "t"}, {"set Device.Radio.Locked=", {}}, {"set Device=", {}},
      {"set Device.Radio.Standard=802.", {"802.11ac", "802.11n"}, "802."},
      {"set Device.Radio.Server=Device.T", {"Time."}, "T"}, {"set Device.Radio.Server=:U", {":Users."}, ":U"},
      {"execute Device.IP.Ping ", {"Count", "Host"}}, {"execute Device.IP.Ping Host=x c", {"Count"}, "c"},
      {"execute Device.IP.Ping Count=", {"1", "4"}}, {"execute Device.Time ", {}},
  });
  f.cd("Device.Hosts");  // relative paths; the device modes are found from anywhere
  const Strings modes = {"Bridge", "Repeater", "Router"};
  run(f, {
      {"cat <.D", {"DeviceInfo."}, "D"}, {"cd ", {"Host."}}, {"color hint ", {}},
      {"color ", {"autocomplete", "hint", "prompt", "root-prompt"}}, {"debug ", {"disabled", "permanent", "temporary"}},
      {"download f", {"file", "firmware"}, "f"}, {"opt ", {"autocomplete", "hint", "strict"}}, {"opt hint o", {"off", "on"}, "o"},
      {"reboot ", {"-f", "Bridge", "Repeater", "Router"}}, {"reboot -f ", modes}, {"reboot Bridge ", {"-f"}},
      {"reboot Bridge -f ", {}}, {"reboot -f", {}}, {"reset ", modes},  // the word under the cursor counts as given
  });
}

// The working folder and PATH for the time of a test, and back.
struct LocalFolders {
  k::test::TempDir dir;
  std::filesystem::path old_cwd = std::filesystem::current_path();
  std::string old_path = std::getenv("PATH") ? std::getenv("PATH") : "";
  LocalFolders() {
    for (const char* folder : {"bin1", "bin1/tdir", "bin2", "work", "work/sub"}) mkdir(dir.file(folder).c_str(), 0700);
    for (auto [file, mode] : {std::pair{"bin1/tool", 0700}, {"bin1/data", 0600}, {"bin2/tool", 0700}, {"bin2/tally", 0700},
                              {"work/notes.txt", 0600}, {"work/tape", 0600}, {"work/sub/inner.bin", 0600}}) {
      std::ofstream(dir.file(file)) << "x";
      chmod(dir.file(file).c_str(), mode);
    }
    setenv("PATH", (dir.file("bin1") + ":" + dir.file("missing") + ":" + dir.file("bin2")).c_str(), 1);
    std::filesystem::current_path(dir.file("work"));
  }
  ~LocalFolders() {
    std::filesystem::current_path(old_cwd);
    setenv("PATH", old_path.c_str(), 1);
  }
};

// Local files, and the hint: the rest of the one candidate.
TEST(Completion, FilesAndHints) {
  Fixture f;
  LocalFolders folders;
  run(f, {
      // Programs along PATH (a name found twice once, folders too: they are executable).
      {"sh t", {"tally", "tdir/", "tool"}, "t"}, {"sh d", {}},  // not executable
      {"sh tool ", {"notes.txt", "sub/", "tape"}, ""},            // then the working folder
      {"sh tool sub/i", {"inner.bin"}, "i"}, {"sh tool nowhere/", {}}, {"upgrade notes.", {"notes.txt"}, "notes."},
      {"download firmware s", {"sub/"}}, {"record ", {"abort", "notes.txt", "sub/", "tape"}},
  });
  const std::pair<const char*, std::optional<std::string>> hints[] = {
      {"he", "lp"}, {"cd dev", "ice."}, {"cat Device.Hosts.Ho", std::nullopt},  // two candidates
      {"set Device.Radio.Standard=802.11a", "c"}, {"sh tool sub/i", "nner.bin"}, {"zz", std::nullopt},
  };
  for (const auto& [line, hint] : hints) {
    EXPECT_EQ(f.hint(line), hint) << line;
    EXPECT_EQ(f.text(), "") << line;
  }
}

// Candidates that do not continue what was typed: the start is where the typed text alone
// puts it.
TEST(Completion, FragmentStartWithoutMatchingCandidates) {
  const std::pair<const char*, size_t> cases[] = {
      {"cd a.b", 5}, {"set a.b=c", 8}, {"set a=\"b", 7}, {"sh x.y/z w", 9}, {"word", 0}};
  for (const auto& [before, start] : cases) EXPECT_EQ(completion_fragment_start(before, {"qqq"}), start) << before;
}

// Another client's changes show at once; a level not cached yet is asked for once; the cached
// cache answers without a request; the shell's position never moves.
TEST(Completion, WorksFromTheCacheWithTheQueuedChanges) {
  Fixture f;
  f.cd("Device.Radio");
  ASSERT_EQ(cdpath_resolve(f.client, f.view.previous_path, ":Device.Hosts"), 0);
  f.view.schema_root->set_child("Services", testing_support::node_from_json(R"({"#attr": {"type": "object"}})"));
  const Strings fetches = {R"(GetParameterAttributes {"ParameterNames":["Device.Hosts.Host.3."],"Depth":-1})",
                           R"(GetParameterAttributes {"ParameterNames":["Services."],"Depth":1})"};
  testing_support::FakeVeld veld(f.session, {{fetches[0], R"([{"Name":"Device.Hosts.Host.3.","Attributes":{"type":"object"}}])"},
                            {fetches[1], R"([{"Name":"Services.","Attributes":{"type":"object"}},
                                            {"Name":"Services.Count","Attributes":{"type":"unsignedInt"}}])"}});
  for (const char* event : {R"({"Action":"Add","Path":"Device.Hosts.Host.","InstanceNumber":3})",
                            R"({"Action":"Delete","Path":"Device.Hosts.Host.2.","InstanceNumber":2})"})
    f.view.pending_changes.push(k::json_parse(event).get());
  EXPECT_EQ(f.complete("cat :Device.Hosts.Host."), (Strings{"1.", "12.", "3.", "max_instance"}));
  for (int i = 0; i < 2; ++i) EXPECT_EQ(f.complete("cat :Services."), Strings{"Count"});
  EXPECT_EQ(veld.take_requests(), fetches);

  SchemaNodePtr position = f.view.current_path.node;
  for (const char* line : {"cat ", "cd -.", "cat -.Host.1.", "set Enable=", "execute :Device.IP.Ping Count=", "cd :", "he"}) {
    f.complete(line);
    f.hint(line);
  }
  EXPECT_EQ(veld.take_requests(), Strings{});
  EXPECT_EQ(f.view.current_path.node, position);
  EXPECT_FALSE(f.view.current_path.in_method);
  EXPECT_EQ(f.view.current_path.text + " " + f.view.previous_path.text, "Device.Radio Device.Hosts");
}

TEST(Completion, CtrlCWhileListingIsThrown) {
  Fixture f;
  k::g_interrupt_requested = 1;
  EXPECT_THROW(f.complete("cat Device."), k::Interrupted);
  EXPECT_EQ(f.complete("cat Device.I"), Strings{"IP."});
}

}  // namespace
