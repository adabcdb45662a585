// Installing this build into a temporary prefix (`cmake --install BUILD --prefix DIR`): the
// programs and their links, the models, the manual page, the examples and the bash completion
// land where a Debian tool's would; the installed veld-sim serves its installed model, and the
// installed examples run as programs, through the kernel's handling of their "#!" line.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "harness/process.h"
#include "testing/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// The build installed once into a prefix of its own, for all tests of this file.
class Installed : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    prefix_ = new k::test::TempDir;
    e2e::Run r = e2e::run(CMAKE_COMMAND, {"--install", VELC_BUILD_DIR, "--prefix", prefix_->path()});
    install_output_ = r.out + r.err;
    install_status_ = r.status;
  }
  static void TearDownTestSuite() {
    delete prefix_;
    prefix_ = nullptr;
  }
  void SetUp() override { ASSERT_EQ(install_status_, 0) << install_output_; }

  static std::string at(const std::string& relative) { return prefix_->file(relative); }

  static k::test::TempDir* prefix_;
  static std::string install_output_;
  static int install_status_;
};

k::test::TempDir* Installed::prefix_ = nullptr;
std::string Installed::install_output_;
int Installed::install_status_ = -1;

bool executable(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IXUSR);
}

TEST_F(Installed, FilesAndLinks) {
  for (const char* program : {"bin/velc", "bin/veld-sim", "share/doc/velc/examples/list-hosts",
                              "share/doc/velc/examples/ntp-servers",
                              "share/doc/velc/examples/hello.lua"})
    EXPECT_TRUE(executable(at(program))) << program;
  for (const char* file : {"share/veld-sim/home-router.json", "share/veld-sim/open-access.json",
                           "share/man/man1/velc.1", "share/man/man1/veld-sim.1",
                           "share/doc/velc/examples/config",
                           "share/bash-completion/completions/velc",
                           "lib/lua/5.3/norlan/device/init.lua"})
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(at(file)))) << file;
  // The program names are relative links, so the installed tree can move.
  for (const char* dir : {"bin", "share/bash-completion/completions"}) {
    for (const char* name : {"velc_interpreter", "velc_lua"}) {
      std::string link = at(std::string(dir) + "/" + name);
      ASSERT_TRUE(fs::is_symlink(link)) << link;
      EXPECT_EQ(fs::read_symlink(link), "velc") << link;
    }
  }
}

TEST_F(Installed, TheInstalledProgramsRun) {
  e2e::Run version = e2e::run(at("bin/velc"), {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("Norlan Management System client.\nvelc version 0.2.1\n", 0), 0u);
  // The installed veld-sim's default model is the installed one.
  e2e::Run help = e2e::run(at("bin/veld-sim"), {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("default:\n                        " +
                          at("share/veld-sim/home-router.json") + "\n"),
            std::string::npos)
      << help.out;
}

// Runs an installed example as a program, through the kernel's handling of its "#!" line, which
// installing pointed at the installed interpreter; `args` follow the emulator's socket.
e2e::Run run_example(const std::string& example, const std::string& interpreter,
                     const e2e::Emulator& sim, const k::test::TempDir& dir,
                     std::vector<std::string> args = {}) {
  std::ifstream in(example);
  std::string first;
  std::getline(in, first);
  EXPECT_EQ(first, "#!" + interpreter);
  args.insert(args.begin(), {"-u", sim.socket()});
  // A private HOME: no configuration script of the person running the tests.
  return e2e::run(example, args, "", {"HOME=" + dir.path()});
}

// Whether an ELF file still holds its symbol table or debugging sections (their names are in the
// section-name table).
bool unstripped(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return bytes.find(".symtab") != std::string::npos || bytes.find(".debug_info") != std::string::npos;
}

TEST_F(Installed, ProgramsAreStrippedAndTheManualPageHasEveryName) {
  for (const char* program : {"bin/velc", "bin/veld-sim"}) EXPECT_FALSE(unstripped(at(program))) << program;
  for (const char* name : {"velc_interpreter.1", "velc_lua.1"})
    EXPECT_EQ(fs::read_symlink(at(std::string("share/man/man1/") + name)), "velc.1") << name;
}

TEST_F(Installed, ExamplesRunThroughTheirShebangLine) {
  e2e::Emulator sim({"--access", at("share/veld-sim/open-access.json")}, at("bin/veld-sim"));
  k::test::TempDir dir;
  std::string interpreter = at("bin/velc_interpreter");
  e2e::Run hosts = run_example(at("share/doc/velc/examples/list-hosts"), interpreter, sim, dir);
  EXPECT_EQ(hosts.status, 0);
  EXPECT_EQ(hosts.out,
            "HostNumberOfEntries = 5\n"
            "\n"
            "Every host by name:\n"
            "Device.Hosts.Host.1.\n└── HostName = 'office-pc'\n"
            "Device.Hosts.Host.2.\n└── HostName = 'pixel-8'\n"
            "Device.Hosts.Host.3.\n└── HostName = 'nas'\n"
            "Device.Hosts.Host.4.\n└── HostName = 'macbook-air'\n"
            "Device.Hosts.Host.5.\n└── HostName = 'smart-plug'\n"
            "\n"
            "Active now:\n"
            "Device.Hosts.Host.1.\n└── IPAddress = '192.168.1.20'\n"
            "Device.Hosts.Host.2.\n└── IPAddress = '192.168.1.21'\n"
            "Device.Hosts.Host.3.\n└── IPAddress = '192.168.1.10'\n"
            "Device.Hosts.Host.5.\n└── IPAddress = '192.168.1.52'\n");
  EXPECT_EQ(hosts.err, "");

  // velc_lua is velc under the Lua-script program name.
  e2e::Run lua = run_example(at("share/doc/velc/examples/hello.lua"), at("bin/velc_lua"), sim,
                             dir, {"Ada", "Linus"});
  EXPECT_EQ(lua.status, 0);
  EXPECT_EQ(lua.out, "1. Hello, Ada!\n2. Hello, Linus!\n2 name(s), greeted by Lua 5.3.\n");
  EXPECT_EQ(lua.err, "");

  // The installed velc takes the Lua module installed beside it.
  e2e::Run up = run_example(at("share/doc/velc/examples/hosts-up.lua"), at("bin/velc_lua"), sim,
                            dir);
  EXPECT_EQ(up.status, 0) << up.err;
  EXPECT_NE(up.out.find("nas"), std::string::npos) << up.out;

  e2e::Run ntp = run_example(at("share/doc/velc/examples/ntp-servers"), interpreter, sim, dir);
  EXPECT_EQ(ntp.status, 0);
  EXPECT_EQ(ntp.out,
            "Setting the NTP servers...\n"
            "key = Device.Time.NTPServer1, value = ntp1.example.net\n"
            "key = Device.Time.NTPServer2, value = ntp2.example.net\n"
            "Status: OK\n"
            "NTPServer1 = 'ntp1.example.net'\n"
            "NTPServer2 = 'ntp2.example.net'\n");
}

// The completion file, loaded by bash-completion under any of the three names, offers velc's
// options and, after -r, the words of request mode (and the option of `opt`).
TEST_F(Installed, BashCompletion) {
  auto complete = [&](const std::string& file, const std::string& words) {
    std::string script = "source '" + file + "'; COMP_WORDS=(" + words +
                         "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _velc; "
                         "printf '%s\\n' \"${COMPREPLY[@]}\"; complete -p velc_interpreter";
    return e2e::run("/bin/bash", {"--norc", "-c", script});
  };
  const std::string dir = at("share/bash-completion/completions/");
  const struct {
    const char* file;
    const char* words;
    const char* offered;
  } cases[] = {
      {"velc", "velc --con", "--config\n"},
      {"velc_interpreter", "velc_interpreter -r ca", "cat\n"},
      {"velc_lua", "velc -t ''", "\n"},
      // Strict mode: the option, and `opt strict on|off` of request mode.
      {"velc", "velc --str", "--strict\n"},
      {"velc", "velc -r opt ''", "strict\n"},
      {"velc", "velc -r opt strict o", "on\noff\n"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(complete(dir + c.file, c.words).out,
              std::string(c.offered) + "complete -F _velc velc_interpreter\n")
        << c.words;
}

}  // namespace
