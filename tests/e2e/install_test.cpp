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

// Whether an ELF file still holds its symbol table or debugging sections (their names are in the
// section-name table).
bool unstripped(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return bytes.find(".symtab") != std::string::npos || bytes.find(".debug_info") != std::string::npos;
}

TEST_F(Installed, FilesLinksAndStrippedPrograms) {
  for (const char* program : {"bin/velc", "bin/veld-sim", "share/doc/velc/examples/list-hosts",
                              "share/doc/velc/examples/ntp-servers", "share/doc/velc/examples/hello.lua"})
    EXPECT_TRUE(executable(at(program))) << program;
  for (const char* program : {"bin/velc", "bin/veld-sim"}) EXPECT_FALSE(unstripped(at(program))) << program;
  for (const char* file : {"share/veld-sim/home-router.json", "share/veld-sim/open-access.json",
                           "share/man/man1/velc.1", "share/man/man1/veld-sim.1", "share/doc/velc/examples/config",
                           "share/bash-completion/completions/velc", "lib/lua/5.3/norlan/device/init.lua"})
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(at(file)))) << file;
  // The program names are relative links, so the installed tree can move.
  for (const std::string link : {"bin/velc_interpreter", "bin/velc_lua", "share/bash-completion/completions/velc_interpreter",
                                  "share/bash-completion/completions/velc_lua"}) {
    ASSERT_TRUE(fs::is_symlink(at(link))) << link;
    EXPECT_EQ(fs::read_symlink(at(link)), "velc") << link;
  }
  for (const char* name : {"velc_interpreter.1", "velc_lua.1"})
    EXPECT_EQ(fs::read_symlink(at(std::string("share/man/man1/") + name)), "velc.1") << name;
  // The installed veld-sim's default model is the installed one.
  e2e::Run help = e2e::run(at("bin/veld-sim"), {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("default:\n                        " + at("share/veld-sim/home-router.json") + "\n"),
            std::string::npos) << help.out;
}

// The installed examples run as programs, through the kernel's handling of their "#!" line,
// which installing pointed at the installed interpreter; the installed velc takes the Lua module
// installed beside it.
TEST_F(Installed, ExamplesRunThroughTheirShebangLine) {
  e2e::Emulator sim({"--access", at("share/veld-sim/open-access.json")}, at("bin/veld-sim"));
  k::test::TempDir home;  // no configuration script of the person running the tests
  const struct {
    const char* example;
    const char* interpreter;
    std::vector<std::string> args;
    std::string out_begins;
    std::string out_holds;
  } cases[] = {
      {"list-hosts", "bin/velc_interpreter", {}, "HostNumberOfEntries = 5\n\nEvery host by name:\n",
       "\nActive now:\nDevice.Hosts.Host.1.\n└── IPAddress = '192.168.1.20'\n"},
      {"ntp-servers", "bin/velc_interpreter", {}, "Setting the NTP servers...\n",
       "Status: OK\nNTPServer1 = 'ntp1.example.net'\nNTPServer2 = 'ntp2.example.net'\n"},
      {"hello.lua", "bin/velc_lua", {"Ada", "Linus"}, "1. Hello, Ada!\n2. Hello, Linus!\n",
       "2 name(s), greeted by Lua 5.3.\n"},
      {"hosts-up.lua", "bin/velc_lua", {}, "192.168.1.20    office-pc\n", "4 of 5 hosts are up\n"},
  };
  for (const auto& c : cases) {
    std::string example = at(std::string("share/doc/velc/examples/") + c.example);
    std::ifstream in(example);
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first, "#!" + at(c.interpreter)) << c.example;
    std::vector<std::string> args = {"-u", sim.socket()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    e2e::Run r = e2e::run(example, args, "", {"HOME=" + home.path()});
    EXPECT_EQ(r.status, 0) << c.example << r.err;
    EXPECT_EQ(r.err, "") << c.example;
    EXPECT_EQ(r.out.rfind(c.out_begins, 0), 0u) << c.example << ":\n" << r.out;
    EXPECT_NE(r.out.find(c.out_holds), std::string::npos) << c.example << ":\n" << r.out;
  }
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
