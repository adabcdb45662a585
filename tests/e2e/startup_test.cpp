// The command line, start-up, logging in (every way, what a failed login does to the run, the
// shell's own logins and what each user then sees, passwords on a terminal and in the argument
// vector), the one-shot modes (notify, raw, event, listen) and connections over TLS (requests and
// events, refused certificates, a plain client at a TLS port), end to end against veld-sim.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "harness/certs.h"
#include "harness/process.h"
#include "harness/pty.h"

namespace {

using e2e::Emulator;
using Strings = std::vector<std::string>;

// A run that cannot connect (it ends with 1 before the mode runs and says where it tried);
// notify mode is unsupported, after the groups are joined. Raw mode prints the reply whole, and
// its error code is the exit status. The listener prints the events of its group as they come
// (into a file: flushed each time) until stopped: Ctrl-C ends it with 130, SIGTERM with 0; it ends
// by itself with 0 when the daemon goes. -l takes no argument: the -g after it is read. Events
// printed by the shell whose input and output are no terminal arrive whole, in order, as they
// come, while it still runs.
TEST(Startup, FailuresNotifyRawListenModeAndEventsToAPipe) {
  Emulator sim;
  e2e::Run r = e2e::run(e2e::bin_dir() + "/velc", {"-u", sim.dir().file("none.sock"), "-r", "cat", "Device."});
  EXPECT_EQ(r.all(), "1|Cannot connect to veld(requests) - No such socket(-3)\n|velc: tried unix socket " +
                         sim.dir().file("none.sock") + "\n");
  r = e2e::velc(sim, {"-g", "7,9", "-n", "x"});
  EXPECT_EQ(r.all(), "0|Unsupported :(\n|");
  EXPECT_NE(e2e::read_file(sim.dir().file("requests.log")).find(R"("Group":9)"), std::string::npos);
  r = e2e::velc(sim, {"--raw", R"({"jsonrpc":"2.0","id":6,"method":"GetParameterValues","params":{"ParameterNames":["Device.Nope."]}})"});
  EXPECT_EQ(r.status, 9005 & 255);
  EXPECT_EQ(r.out.rfind("<< {\n    \"jsonrpc\": \"2.0\",\n    \"id\": 6,\n    \"error\": {\n        \"code\": 9005,", 0), 0u) << r.out;

  const std::string input = sim.dir().file("in"), out = sim.dir().file("out");
  ASSERT_EQ(mkfifo(input.c_str(), 0600), 0);
  pid_t velc = e2e::start_velc(sim, {"-g", "7"}, out, input);
  int fifo = open(input.c_str(), O_WRONLY);  // kept open: the shell waits for its input
  std::string expected = "velc:> ";
  ASSERT_TRUE(e2e::eventually([&] { return e2e::read_file(out).ends_with(expected); }));  // the group is joined
  for (const char* text : {"one", "two"}) {  // each is flushed as it comes
    EXPECT_EQ(e2e::velc(sim, {"-e", "7", std::string(R"({"text":")") + text + "\"}"}).status, 0);
    expected += "\nEVENT 7:\n{\n    \"text\": \"" + std::string(text) + "\"\n}\nvelc:> ";
    EXPECT_TRUE(e2e::eventually([&] { return e2e::read_file(out).ends_with(expected); })) << e2e::read_file(out);
  }
  close(fifo);  // the shell ends at the end of its input
  EXPECT_EQ(e2e::wait_exit_status(velc), 0);

  for (auto [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 0}, std::pair{0, 0}}) {
    sim.clear_requests();
    std::string out_file = sim.dir().file("listener.out" + std::to_string(signal));
    pid_t listener = e2e::start_velc(sim, {"-l", "-g", "7"}, out_file);
    ASSERT_TRUE(e2e::eventually([&] { return e2e::read_file(sim.dir().file("requests.log")).find("\"Group\":7") != std::string::npos; }));
    expected = "Connection dropped\n";
    if (signal != 0) {
      EXPECT_EQ(e2e::velc(sim, {"-e", "8", R"({"text":"not for you"})"}).status, 0);
      EXPECT_EQ(e2e::velc(sim, {"-e", "7", R"({"text":"hello"})"}).status, 0);
      expected = "\nEVENT 7:\n{\n    \"text\": \"hello\"\n}\n";
      EXPECT_TRUE(e2e::eventually([&] { return e2e::read_file(out_file) == expected; }));
      kill(listener, signal);
    } else {
      sim.stop();
    }
    EXPECT_EQ(e2e::wait_exit_status(listener), status) << signal;
    EXPECT_EQ(e2e::read_file(out_file), expected);
  }
}

// The same destination by name.
std::string by_name(const std::string& tcp) { return "tcp:localhost:" + tcp.substr(tcp.rfind(':') + 1); }

// Requests, a reply of many TLS records, and the shell's events connection over a verified
// connection; certificates refused with OpenSSL's reason; without --ssl the TLS listener drops
// the connection during the login, and velc says why.
TEST(Tls, VerifiedConnectionsAndRefusals) {
  e2e::Certs certs, other;                     // for localhost and 127.0.0.1; another CA
  e2e::Certs elsewhere("DNS:router.example");  // signed by its own CA, for another name
  Strings options = certs.server_options();
  options.insert(options.end(), {"--hosts", "3000"});
  Emulator sim(options), misnamed(elsewhere.server_options());
  e2e::Run plain_hosts = e2e::velc(sim, {"-r", "cat", "Device.Hosts."});
  e2e::Run tls_hosts = e2e::velc(sim, {"--ssl", "-u", by_name(sim.tcp()), "-r", "cat", "Device.Hosts."}, "",
                                 {"VELC_CA_FILE=" + certs.ca()});
  EXPECT_GT(plain_hosts.out.size(), size_t{1} << 20);
  EXPECT_TRUE(tls_hosts.out == plain_hosts.out) << tls_hosts.out.size() << " bytes";
  const struct {
    std::string destination, ca, reason;
  } refused[] = {
      {sim.tcp(), other.ca(), "unable to get local issuer certificate"},
      {by_name(misnamed.tcp()), elsewhere.ca(), "hostname mismatch"},
  };
  for (const auto& c : refused) {
    e2e::Run r = e2e::velc(sim, {"--ssl", "-u", c.destination, "-r", "cat", "Device."}, "", {"VELC_CA_FILE=" + c.ca});
    EXPECT_EQ(r.status, 1) << c.destination;
    EXPECT_EQ(r.out, "Cannot connect to veld(requests) - TLS handshake failed: certificate verify "
                     "failed (" + c.reason + ")(-23)\n") << c.destination;
  }
  e2e::Run plain = e2e::velc(sim, {"-u", sim.tcp(), "-a", "admin:admin", "-r", "cat", "Device."});
  EXPECT_EQ(plain.err, "velc: cannot log in as admin: the connection was closed during login; is it a "
                       "TLS port? (use --ssl)\n");

  e2e::Shell sh(sim, {"--ssl", "-u", sim.tcp(), "-g", "7"}, "", false, {"VELC_CA_FILE=" + certs.ca()});
  size_t from = sh.pty().mark();
  ASSERT_EQ(e2e::velc(sim, {"-e", "7", "{\"over\":\"tls\"}"}).status, 0);
  EXPECT_TRUE(sh.pty().wait_for("\nEVENT 7:\n{\n    \"over\": \"tls\"\n}\n", from)) << sh.pty().text();
}

// Each way of logging in at the start and each failure. In the shell, each change of user
// refreshes the schema cache, the prompt and what writes are allowed (support sees of
// Device.Users only its own identity); a password typed at the prompt is not echoed. On a
// terminal, -a with a user alone that veld refuses without a password asks for it, without echo.
// (Over TCP veld knows nobody by the peer's credentials.) A password given on the command line is
// gone from the argument vector (which every local user can read) once velc runs.
TEST(Login, EachWayEachFailureTheShellsLoginsAndPasswords) {
  Emulator sim({"--access", e2e::accounts(), "--tcp", "127.0.0.1:0"});
  const std::string admin = "CurrentUser = 'admin'\n";
  const Strings refused = {"Login", "Authenticate", "Logout"};
  const struct {
    Strings args;  // before "-r cat Device.Users.CurrentUser"
    std::string all;  // the outcome, see e2e::Run::all
    Strings sent;
  } cases[] = {
      {{"--auth", "admin:admin"}, "0|" + admin + "|", {"Login", "GetParameterValues", "GetParameterValues"}},
      // Refused as a user: taken as a token.
      {{"--auth", "kr4200-admin-7c1e9b3a5d2f4e68"}, "0|" + admin + "|",
       {"Login", "Authenticate", "GetParameterValues", "GetParameterValues", "GetParameterValues"}},
      // Refused both ways: the run ends with 1 before the mode; no password asked off a terminal.
      {{"--auth", "admin:wrong"}, "1||velc: cannot log in as admin: wrong user name or password\n", refused},
      {{}, "0|[9001] Request denied: nobody is logged in\n|", {"GetParameterValues"}},
  };
  for (const auto& c : cases) {
    Strings args = c.args;
    args.insert(args.end(), {"-r", "cat", "Device.Users.CurrentUser"});
    sim.clear_requests();
    e2e::Run run = e2e::velc(sim, args);
    SCOPED_TRACE(testing::PrintToString(args));
    EXPECT_EQ(run.all(), c.all);
    Strings methods;
    for (const std::string& request : e2e::sent(sim)) methods.push_back(request.substr(0, request.find(' ')));
    EXPECT_EQ(methods, c.sent);
  }
  e2e::Run run = e2e::velc(sim, {"--auth", "admin:admin"},
                           "login support -p support\ncatree Device.Users\nset Device.Time.Enable=false\n"
                           "logout\nls Device\nlogin admin\nadmin\n");
  EXPECT_EQ(run.out.substr(run.out.find("admin@velc:> ")),
            "admin@velc:> login support -p support\nsupport@velc:> catree Device.Users\n"
            "Device.Users.\n├── CurrentUser  = 'support'\n└── SystemAccess = false\n"
            "support@velc:> set Device.Time.Enable=false\nkey = Device.Time.Enable, value = false\n"
            "[9001] Request denied: no parameter was changed\nDevice.Time.Enable: \"9001 Request denied\"\n"
            "support@velc:> logout\nvelc:> ls Device\nDevice.DeviceInfo.  Device.Users.\n"
            "velc:> login admin\n[velc] password for admin: \nadmin@velc:> \n");
  EXPECT_EQ(run.status, 0);

  k::test::TempDir home;
  e2e::Pty pty(e2e::bin_dir() + "/velc", {"-u", sim.tcp(), "-a", "support"},
               {"HOME=" + home.path(), "VELC_HISTFILE=" + home.file("history"), "NO_COLOR=1"});
  ASSERT_TRUE(pty.wait_for("[velc] password for support: ", 0)) << pty.text();
  pty.type("support\r");
  EXPECT_TRUE(pty.wait_for("[velc] password for support: \n", 0)) << pty.text();
  EXPECT_TRUE(pty.wait_until([](const std::string& s) { return e2e::last_line(s) == "support@velc:> "; }));

  sim.clear_requests();
  pid_t listener = e2e::start_velc(sim, {"-a", "admin:admin", "-l"}, sim.dir().file("out"));
  ASSERT_TRUE(e2e::eventually([&] { return !sim.requests().empty(); }));  // past the command line
  std::string cmdline = e2e::read_file("/proc/" + std::to_string(listener) + "/cmdline");
  kill(listener, SIGTERM);
  e2e::wait_exit_status(listener);
  if (std::getenv("VELC_EMULATOR"))
    GTEST_SKIP() << "the password's hiding from /proc/PID/cmdline is not checked under user-mode emulation: "
                    "that file shows the emulator's own command line, which the program cannot change";
  EXPECT_NE(cmdline.find(std::string("-l") + '\0'), std::string::npos) << "not read";
  EXPECT_NE(cmdline.find(std::string("admin:") + '\0'), std::string::npos) << cmdline;
}

}  // namespace
