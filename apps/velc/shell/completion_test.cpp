// Tab and hints over a fixture cache and a temporary folder: each rule, where the typed fragment
// starts, and that completing asks veld nothing, prints nothing and never moves the position.
#include "shell/completion.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "datamodel/resolve.h"
#include "shell/test_client.h"
#include "platform/interrupt.h"
#include "testing/stdout_capture.h"
#include "testing/temp_dir.h"

using testing_support::FakeVeld;
using testing_support::Strings;

namespace {

int noop(Client&, const std::string&, json_t*) { return 0; }

// One row of each rule. Not in name order: the first word is completed in table order.
using enum CompletionKind;
constexpr CommandEntry kRows[] = {
    command_row({.name = "cd", .id = 4, .handler = noop, .completion = kObjectPath}),
    command_row({.name = "cat",
                 .method = "GetParameterValues",
                 .id = 2,
                 .handler = noop,
                 .completion = kPath}),
    command_row({.name = "color", .id = 6, .handler = noop, .completion = kColourType}),
    command_row({.name = "debug", .id = 8, .handler = noop, .completion = kDebugMode}),
    command_row({.name = "download", .id = 9, .handler = noop, .completion = kDownload}),
    command_row({.name = "execute", .id = 12, .handler = noop, .completion = kMethodInput}),
    command_row({.name = "help", .id = 14, .handler = noop}),
    command_row({.name = "opt", .id = 25, .handler = noop, .completion = kOption}),
    command_row({.name = "order", .id = 26, .handler = noop, .completion = kFirstPath}),
    command_row({.name = "set", .id = 35, .handler = noop, .completion = kWritablePath}),
    command_row({.name = "record", .id = 29, .handler = noop, .completion = kRecord}),
    command_row({.name = "reboot", .id = 28, .handler = noop, .completion = kReboot}),
    command_row({.name = "reset", .id = 30, .handler = noop, .completion = kDeviceMode}),
    command_row({.name = "sh", .id = 36, .handler = noop, .completion = kCommand}),
    command_row({.name = "upgrade", .id = 40, .handler = noop, .completion = kFile}),
};

// clang-format off
#define HOST_NODE                                                \
  R"({"#fetched": true, "#attr": {"type": "object"},)"           \
  R"( "HostName": {"#attr": {"type": "string"}},)"               \
  R"( "Active": {"#attr": {"type": "boolean", "access": "readOnly"}}})"

// A fully fetched cache: completing from it needs no request.
constexpr const char* kSchema = R"({"#fetched": true,
  "Device": {"#fetched": true, "#attr": {"type": "object"},
    "DeviceInfo": {"#fetched": true, "#attr": {"type": "object"},
      "DeviceMode": {"#attr": {"type": "enum", "enum": ["Router", "Bridge", "", "Repeater"]}},
      "Manufacturer": {"#attr": {"type": "string", "access": "readOnly"}}},
    "Hosts": {"#fetched": true, "#attr": {"type": "object"},
      "HostNumberOfEntries": {"#attr": {"type": "unsignedInt", "access": "readOnly"}},
      "Host": {"#fetched": true, "#attr": {"type": "object", "multi": true},
        "#template": )" HOST_NODE R"(, "1": )" HOST_NODE R"(,
        "2": )" HOST_NODE R"(, "12": )" HOST_NODE R"(,
        "max_instance": {"#attr": {"type": "unsignedInt", "access": "readOnly"}}}},
    "IP": {"#fetched": true, "#attr": {"type": "object"},
      "Ping": {"#fetched": true, "#attr": {"type": "method"}, "#input": {"#fetched": true,
        "Host": {"#attr": {"type": "string"}},
        "Count": {"#attr": {"type": "unsignedInt", "enum": [1, 4]}}}}},
    "Time": {"#fetched": true, "#attr": {"type": "object"},
      "Enable": {"#attr": {"type": "boolean"}},
      "Locked": {"#attr": {"type": "bool", "access": "readOnly"}},
      "Server": {"#attr": {"type": "path"}},
      "Standard": {"#attr": {"type": "enum", "enum": ["n", "802.11ac", "802.11n", 3]}}}},
  "Users": {"#fetched": true, "#attr": {"type": "object"},
    "UserNumberOfEntries": {"#attr": {"type": "unsignedInt"}}}})";
// clang-format on

// A client at the fixture cache's root; requests fail at once (nothing listens) until a
// FakeVeld is made on its session.
struct Fixture : testing_support::ShellTestClient {
  Fixture() {
    session.requests.set_destination("/nonexistent/velc-test/veld.sock");
    view.schema_root = testing_support::node_from_json(kSchema);
    cdpath_clear(view.current_path, view.schema_root);
    cdpath_clear(view.previous_path, view.schema_root);
  }
  Strings complete(const std::string& line) {
    return complete_line(kRows, shell, line, line.size());
  }
  std::optional<std::string> hint(const std::string& line) {
    return hint_line(kRows, shell, line);
  }
  void cd(const char* path) { ASSERT_EQ(cdpath_resolve(client, view.current_path, path), 0); }
};

struct Case {
  const char* line;
  Strings candidates;
  const char* fragment = nullptr;  // the typed text each candidate replaces; null: not checked
};

// Runs the cases: the candidates, where they go, and never a word on the screen.
void run(Fixture& f, const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    Strings got;
    EXPECT_EQ(output_of([&] { got = f.complete(c.line); }), "") << c.line;
    EXPECT_EQ(got, c.candidates) << c.line;
    if (c.fragment) {
      std::string line = c.line;
      EXPECT_EQ(line.substr(completion_fragment_start(line, got)), c.fragment) << c.line;
    }
  }
}

TEST(Completion, CommandNamesInTableOrder) {
  Fixture f;
  run(f, {
             {"",
              {"cd", "cat", "color", "debug", "download", "execute", "help", "opt", "order", "set",
               "record", "reboot", "reset", "sh", "upgrade"}},
             {"  c", {"cd", "cat", "color"}, "c"},
             {"re", {"record", "reboot", "reset"}, "re"},
             {"he", {"help"}, "he"},
             {"GetParameter", {}},  // a method's name is never offered
             {"nothing here", {}},  // an unknown command offers nothing
         });
}

TEST(Completion, Paths) {
  Fixture f;
  run(f, {
             {"cd ", {"Device.", "Users."}, ""},
             {"cd :", {":Device.", ":Users."}, ":"},
             {"cd dev", {"Device."}, "dev"},  // names match without regard to case
             {"cd Device.Hosts.", {"Host."}, ""},
             {"cat Device.Hosts.", {"Host.", "HostNumberOfEntries"}, ""},
             {"cat Device.Hosts.Host.", {"1.", "12.", "2.", "max_instance"}, ""},
             {"cat :Device.Hosts.Host.1", {"1.", "12."}, "1"},
             {"cat \"Device.Hosts.Ho", {"Host.", "HostNumberOfEntries"}, "Ho"},
             {"cat Device.DeviceInfo.Manufacturer.", {}},
             {"cat Device.Nowhere.", {}},        // no such node: nothing, and no message
             {"cat -.", {"Device.", "Users."}},  // the previous position, not echoed
             {"cat Device.IP.", {"Ping."}},      // a method is no parameter
             {"order Device.Hosts.H", {"Host.", "HostNumberOfEntries"}},
             {"order Device.Hosts.Host.1 ", {}},
         });
  f.cd("Device.Hosts");
  run(f, {{"cat <.D", {"DeviceInfo."}, "D"}, {"cd ", {"Host."}}});
}

TEST(Completion, ValuesAfterEquals) {
  Fixture f;
  run(f, {
             {"set Device.Time.", {"Enable", "Server", "Standard"}, ""},  // Locked is read-only
             {"set Device.Time.Enable=", {"true", "false"}, ""},
             {"set Device.Time.Enable=F", {}},
             {"set Device.Time.Enable=\"t", {"true"}, "t"},
             {"set Device.Time.Locked=", {}},
             {"set Device.Time.Standard=", {"n", "802.11ac", "802.11n", "3"}, ""},
             {"set Device.Time.Standard=802.", {"802.11ac", "802.11n"}, "802."},
             {"set Device.Time.Server=Device.T", {"Time."}, "T"},  // a path, from the root
             {"set Device.Time.Server=:U", {":Users."}, ":U"},
             {"set Device=", {}},
             {"execute Device.IP.", {"Ping."}, ""},
             {"execute Device.IP.Ping ", {"Count", "Host"}},
             {"execute Device.IP.Ping Host=x c", {"Count"}, "c"},
             {"execute Device.IP.Ping Count=", {"1", "4"}},
             {"execute Device.Nowhere ", {}},
             {"execute Device.Time ", {}},  // no method: no inputs
         });
}

TEST(Completion, KeywordsAndDeviceModes) {
  Fixture f;
  f.cd("Device.Hosts.Host.1");  // the device modes are found from anywhere
  run(f, {
             {"color ", {"autocomplete", "hint", "prompt", "root-prompt"}},
             {"color \"h", {"hint"}, "h"},
             {"color hint ", {}},
             {"debug ", {"disabled", "permanent", "temporary"}},
             {"download f", {"file", "firmware"}, "f"},
             {"opt ", {"autocomplete", "hint", "strict"}},
             {"opt hint o", {"off", "on"}, "o"},
             {"reboot ", {"-f", "Bridge", "Repeater", "Router"}},
             {"reboot R", {"Repeater", "Router"}, "R"},
             {"reboot -f ", {"Bridge", "Repeater", "Router"}},
             {"reboot Bridge ", {"-f"}},
             {"reboot Bridge -f ", {}},
             {"reboot -f", {}},  // the word under the cursor counts as given
             {"reset ", {"Bridge", "Repeater", "Router"}},
             {"reset Router ", {}},
         });
}

// The working folder and PATH for the time of a test, and back.
class LocalFolders {
 public:
  LocalFolders()
      : old_cwd_(std::filesystem::current_path()),
        old_path_(std::getenv("PATH") ? std::getenv("PATH") : "") {
    for (const char* folder : {"bin1", "bin1/tdir", "bin2", "work", "work/sub"})
      mkdir(dir_.file(folder).c_str(), 0700);
    for (auto [file, mode] : {std::pair{"bin1/tool", 0700},
                              {"bin1/data", 0600},
                              {"bin2/tool", 0700},
                              {"bin2/tally", 0700},
                              {"work/notes.txt", 0600},
                              {"work/tape", 0600},
                              {"work/sub/inner.bin", 0600}}) {
      std::ofstream(dir_.file(file)) << "x";
      chmod(dir_.file(file).c_str(), mode);
    }
    setenv("PATH",
           (dir_.file("bin1") + ":" + dir_.file("missing") + ":" + dir_.file("bin2")).c_str(), 1);
    std::filesystem::current_path(dir_.file("work"));
  }
  ~LocalFolders() {
    std::filesystem::current_path(old_cwd_);
    setenv("PATH", old_path_.c_str(), 1);
  }

 private:
  k::test::TempDir dir_;
  std::filesystem::path old_cwd_;
  std::string old_path_;
};

TEST(Completion, Files) {
  Fixture f;
  LocalFolders folders;
  run(f, {
             // Programs along PATH (a name found twice once, folders too: they are executable).
             {"sh t", {"tally", "tdir/", "tool"}, "t"},
             {"sh d", {}},                                     // not executable
             {"sh tool ", {"notes.txt", "sub/", "tape"}, ""},  // then the working folder
             {"sh tool sub/i", {"inner.bin"}, "i"},
             {"sh tool nowhere/", {}},
             {"upgrade notes.", {"notes.txt"}, "notes."},
             {"upgrade x ", {"notes.txt", "sub/", "tape"}},
             {"download firmware s", {"sub/"}},
             {"record ", {"abort", "notes.txt", "sub/", "tape"}},
             {"record a", {"abort"}, "a"},
         });
}

TEST(Completion, HintIsTheRestOfTheOneCandidate) {
  Fixture f;
  LocalFolders folders;
  const struct {
    const char* line;
    std::optional<std::string> hint;
  } cases[] = {
      {"he", "lp"},
      {"cd Device.Ho", "sts."},
      {"cd dev", "ice."},
      {"cat Device.Hosts.Ho", std::nullopt},  // two candidates
      {"set Device.Time.Enable=t", "rue"},
      {"set Device.Time.Standard=802.11a", "c"},
      {"upgrade notes.", "txt"},
      {"sh tool sub/i", "nner.bin"},
      {"", std::nullopt},
      {"zz", std::nullopt},
  };
  for (const auto& c : cases) {
    std::optional<std::string> got;
    EXPECT_EQ(output_of([&] { got = f.hint(c.line); }), "") << c.line;
    EXPECT_EQ(got, c.hint) << c.line;
  }
}

// Candidates that do not continue what was typed: the start is where the typed text alone
// puts it.
TEST(Completion, FragmentStartWithoutMatchingCandidates) {
  const struct {
    const char* before;
    size_t start;
  } cases[] = {
      {"cd a.b", 5},   {"set a.b=c", 8},  {"set a=\"b", 7},
      {"sh x/y.z", 5}, {"sh x.y/z w", 9}, {"word", 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(completion_fragment_start(c.before, {"qqq"}), c.start) << c.before;
}

// Another client's changes show at once; the cached cache answers without a request; the
// shell's position never moves.
TEST(Completion, WorksFromTheCacheWithTheQueuedChanges) {
  Fixture f;
  f.cd("Device.Time");
  ASSERT_EQ(cdpath_resolve(f.client, f.view.previous_path, ":Device.Hosts"), 0);
  const std::string fetch =
      R"(GetParameterAttributes {"ParameterNames":["Device.Hosts.Host.3."],"Depth":-1})";
  FakeVeld veld(f.session,
                {{fetch, R"([{"Name":"Device.Hosts.Host.3.","Attributes":{"type":"object"}}])"}});
  for (const char* event :
       {R"({"Action":"Add","Path":"Device.Hosts.Host.","InstanceNumber":3})",
        R"({"Action":"Delete","Path":"Device.Hosts.Host.2.","InstanceNumber":2})"})
    f.view.pending_changes.push(k::json_parse(event).get());
  EXPECT_EQ(f.complete("cat :Device.Hosts.Host."), (Strings{"1.", "12.", "3.", "max_instance"}));
  EXPECT_EQ(veld.take_requests(), Strings{fetch});

  SchemaNodePtr position = f.view.current_path.node;
  for (const char* line :
       {"cat ", "cd -.", "cat -.Host.1.", "set Enable=", "execute :Device.IP.Ping C",
        "execute :Device.IP.Ping Count=", "reboot ", "reset ", "cd :", "he"}) {
    f.complete(line);
    f.hint(line);
  }
  EXPECT_EQ(veld.take_requests(), Strings{});
  EXPECT_EQ(f.view.current_path.text, "Device.Time");
  EXPECT_EQ(f.view.current_path.node, position);
  EXPECT_FALSE(f.view.current_path.in_method);
  EXPECT_EQ(f.view.previous_path.text, "Device.Hosts");
}

// A level the cache has not fetched is asked for once, then answered from the cache.
TEST(Completion, FetchesALevelNotCachedYet) {
  Fixture f;
  f.view.schema_root->set_child("Services",
                                testing_support::node_from_json(R"({"#attr": {"type": "object"}})"));
  const std::string fetch = R"(GetParameterAttributes {"ParameterNames":["Services."],"Depth":1})";
  FakeVeld veld(f.session, {{fetch, R"([{"Name":"Services.","Attributes":{"type":"object"}},
                             {"Name":"Services.Count","Attributes":{"type":"unsignedInt"}}])"}});
  for (int i = 0; i < 2; ++i) EXPECT_EQ(f.complete("cat Services."), Strings{"Count"});
  EXPECT_EQ(veld.take_requests(), Strings{fetch});
}

TEST(Completion, CtrlCWhileListingIsThrown) {
  Fixture f;
  k::g_interrupt_requested = 1;
  EXPECT_THROW(f.complete("cat Device."), k::Interrupted);
  EXPECT_EQ(f.complete("cat Device.I"), Strings{"IP."});
}

}  // namespace
