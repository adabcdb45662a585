// The program: its command line, its start and its signals.
#include "daemon/test_server.h"

namespace sim {
namespace {

using namespace test;

std::string program() {
  const char* bin = std::getenv("VELC_BIN");
  return bin ? std::string(bin) + "/veld-sim" : std::string();
}

// The command that starts it: in a cross build, under the emulator that ctest names.
std::string command() {
  const char* emulator = std::getenv("VELC_EMULATOR");
  return (emulator && *emulator ? std::string(emulator) + " " : std::string()) + program();
}

// Runs veld-sim with these words (standard error joined to the output) until it exits.
struct Outcome {
  int status = -1;  // exit status; -1 when it did not exit
  std::string out;
};
Outcome run_program(const std::string& words) {
  FILE* f = ::popen((command() + " " + words + " 2>&1").c_str(), "r");
  Outcome o;
  for (int ch; (ch = std::fgetc(f)) != EOF;) o.out.push_back(static_cast<char>(ch));
  int status = ::pclose(f);
  o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return o;
}

class Program : public ::testing::Test {
 protected:
  void SetUp() override {
    if (program().empty() || !std::filesystem::exists(program()))
      GTEST_SKIP() << "VELC_BIN does not hold veld-sim";
  }
};

TEST_F(Program, CommandLines) {
  const struct {
    const char* words;
    int status;
    const char* output;  // its beginning
  } cases[] = {
      {"--help", 0, "Usage: veld-sim --socket PATH [--model FILE]"},
      {"", 2, "veld-sim: --socket PATH is required\n\nUsage: veld-sim"},
      {"--socket=", 2, "veld-sim: --socket needs a value\n"},
      {"--socket /nowhere/s --bogus", 2, "veld-sim: unknown option: --bogus\n\nUsage: veld-sim"},
      {"--socket=/nowhere/s --delay 5ms", 2, "veld-sim: --delay expects milliseconds from 0 to 3600000\n"},
      {"--socket=/nowhere/s --memory-budget 0", 2, "veld-sim: --memory-budget expects mebibytes from 1 to 65536\n"},
      // Accepted (the largest values), then the model is missing.
      {"--socket /nowhere/s --hosts=200000 --delay 3600000 --memory-budget 65536 --max-request 1024 "
       "--reboot-time 3600000 --state /nowhere/state --flash-time 3600000 --fetch-timeout 3600000 "
       "--download-dir /nowhere/dl --model /nowhere/none.json", 1,
       "veld-sim: /nowhere/none.json:"},
      {"--socket /nowhere/s", 1, "veld-sim: cannot listen on /nowhere/s: "},
      {"--socket=/nowhere/s --tcp=127.0.0.1:65536", 2, "veld-sim: --tcp expects HOST:PORT"},
      {"--socket=/nowhere/s --tls-cert c.pem", 2, "veld-sim: --tls-cert and --tls-key go together\n"},
      {"--socket=/nowhere/s --tls-cert c.pem --tls-key k.pem", 2,
       "veld-sim: --tls-cert and --tls-key need --tcp\n"},
      // Accepted; then the certificate cannot be read, before any socket is made.
      {"--socket /nowhere/s --tcp 127.0.0.1:0 --tls-cert /nowhere/c.pem --tls-key /nowhere/k.pem",
       1, "veld-sim: cannot load certificate /nowhere/c.pem: "},
  };
  for (const auto& c : cases) {
    Outcome o = run_program(c.words);
    EXPECT_EQ(o.status, c.status) << c.words;
    EXPECT_EQ(o.out.rfind(c.output, 0), 0u) << c.words << "\n" << o.out;
  }
}

TEST_F(Program, AnUnreadableSavedConfigurationStopsTheStartWithOneLineNamingIt) {
  k::test::TempDir dir;
  std::filesystem::create_directory(dir.file("state"));
  { std::ofstream(dir.file("state/config.json")) << R"({"Version":1,"Configuration":{"Device":{"DeviceInfo":{"DeviceMode":"Gateway"}}}})"; }
  Outcome o = run_program("--socket " + dir.file("s") + " --state " + dir.file("state/"));
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, "veld-sim: " + dir.file("state/config.json") +
                     ": Device.DeviceInfo.DeviceMode: bad value: not one of the enumerated values\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("s")));
}

TEST_F(Program, AnnouncesReadinessAndCleansUpOnSignals) {
  for (int sig : {SIGTERM, SIGINT}) {
    k::test::TempDir dir;
    std::string socket = dir.file("veld.sock");
    // The shell prints its process id, which veld-sim takes over.
    std::string line = "echo $$; exec " + command() + " --socket " + socket;
    FILE* f = ::popen(line.c_str(), "r");
    char pid[32], ready[256];
    ASSERT_TRUE(std::fgets(pid, sizeof pid, f) && std::fgets(ready, sizeof ready, f));
    // The readiness line is what velc's end-to-end tests wait for before they use the socket.
    EXPECT_EQ(std::string(ready), "veld-sim: ready on " + socket + "\n");
    ::kill(std::atoi(pid), sig);
    EXPECT_EQ(::pclose(f), 0) << "exits with status 0";
    EXPECT_FALSE(std::filesystem::exists(socket));
  }
}


}  // namespace
}  // namespace sim
