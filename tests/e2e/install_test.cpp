// Installing this build into a temporary prefix (`cmake --install BUILD --prefix DIR`): the
// programs and their links, the models, the manual page, the examples and the bash completion
// land where a Debian tool's would; the installed veld-sim serves its installed model, and the
// installed examples run as programs, through the kernel's handling of their "#!" line, which
// installing pointed at the installed interpreter.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "harness/process.h"
#include "testing/temp_dir.h"

namespace {

namespace fs = std::filesystem;

TEST(Install, FilesLinksAndExamplesThatRunThroughTheirShebangLine) {
  k::test::TempDir prefix;
  e2e::Run installed = e2e::run(CMAKE_COMMAND, {"--install", VELC_BUILD_DIR, "--prefix", prefix.path()});
  ASSERT_EQ(installed.status, 0) << installed.out << installed.err;
  auto at = [&](const std::string& relative) { return prefix.file(relative); };
  for (const char* file : {"share/veld-sim/home-router.json", "share/man/man1/velc.1", "share/man/man1/veld-sim.1",
                           "share/doc/velc/examples/config", "share/bash-completion/completions/velc",
                           "lib/lua/5.3/norlan/device/init.lua"})
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(at(file)))) << file;
  // The program names are relative links (read_symlink throws for anything else), so the
  // installed tree can move.
  for (const char* link : {"bin/velc_interpreter", "bin/velc_lua", "share/bash-completion/completions/velc_lua",
                           "share/man/man1/velc_lua.1"})
    EXPECT_EQ(fs::read_symlink(at(link)).string().rfind("velc", 0), 0u) << link;
  e2e::Emulator sim({"--access", at("share/veld-sim/open-access.json")}, at("bin/veld-sim"));
  const struct {
    const char* example;
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {"ntp-servers", {}, "Setting the NTP servers...\n"},
      {"hello.lua", {"Ada"}, "1. Hello, Ada!\n"},
      {"hosts-up.lua", {}, "192.168.1.20    office-pc\n"},
  };
  for (const auto& c : cases) {
    std::string example = at(std::string("share/doc/velc/examples/") + c.example);
    EXPECT_EQ(access(example.c_str(), X_OK), 0) << c.example;
    EXPECT_EQ(e2e::read_file(example).rfind("#!" + at("bin/velc_"), 0), 0u) << c.example;
    std::vector<std::string> args = {"-u", sim.socket()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    e2e::Run r = e2e::run(example, args, "", {"HOME=" + prefix.path()});
    EXPECT_EQ(r.status, 0) << c.example << r.err;
    EXPECT_EQ(r.out.rfind(c.out, 0), 0u) << c.example << ":\n" << r.out;
  }
  // The installed veld-sim's default model is the installed one.
  EXPECT_NE(e2e::run(at("bin/veld-sim"), {"--help"}).out.find(at("share/veld-sim/home-router.json")), std::string::npos);
}

}  // namespace
