// velc over TCP and TLS against veld-sim's --tcp listener: requests and events, destinations that
// cannot be reached, refused certificates, and handshakes that never end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness/certs.h"
#include "harness/process.h"
#include "harness/shell_session.h"
#include "platform/tcp.h"

namespace {

using e2e::Certs;
using e2e::Emulator;
using Strings = std::vector<std::string>;

const Strings kMode = {"-r", "cat", "Device.DeviceInfo.DeviceMode"};
const std::string kRouter = "DeviceMode = 'Router'\n";

// The same destination by name.
std::string by_name(const std::string& tcp) { return "tcp:localhost:" + tcp.substr(tcp.rfind(':') + 1); }

// velc -u `to` (with --ssl when `ca` is given, trusting it) asking for the device mode.
e2e::Run ask(const Emulator& sim, const std::string& to, const std::string& ca = "", Strings extra = {}) {
  Strings args = {"-u", to};
  if (!ca.empty()) args.push_back("--ssl");
  args.insert(args.end(), extra.begin(), extra.end());
  args.insert(args.end(), kMode.begin(), kMode.end());
  return e2e::velc(sim, args, "", ca.empty() ? Strings{} : Strings{"VELC_CA_FILE=" + ca});
}

TEST(Tcp, RequestsByAddressAndByNameAndDestinationsThatCannotBeReached) {
  Emulator sim({"--tcp", "127.0.0.1:0"});
  ASSERT_EQ(sim.tcp().rfind("tcp:127.0.0.1:", 0), 0u) << sim.tcp();
  for (const std::string& to : {sim.tcp(), by_name(sim.tcp())}) EXPECT_EQ(ask(sim, to).out, kRouter) << to;
  std::string error;
  uint16_t port = 0;
  { k::Fd gone = k::tcp_listen({"127.0.0.1", 0}, port, error); }  // a port nobody listens on
  const std::pair<std::string, std::string> cases[] = {
      {"tcp:127.0.0.1", "Bad address, expected tcp:HOST:PORT(-20)\n"},
      {"tcp:127.0.0.1:" + std::to_string(port), "Connection refused(-4)\n"},
  };
  for (const auto& [to, why] : cases) {
    e2e::Run r = ask(sim, to);
    EXPECT_EQ(r.status, 1) << to;
    EXPECT_EQ(r.out, "Cannot connect to veld(requests) - " + why) << to;
    EXPECT_EQ(r.err, "velc: tried TCP " + to.substr(4) + "\n") << to;
  }
}

TEST(Tls, RequestsAndEventsOverAVerifiedConnection) {
  Certs certs;
  Strings options = certs.server_options();
  options.insert(options.end(), {"--hosts", "3000"});
  Emulator sim(options);
  for (const std::string& to : {sim.tcp(), by_name(sim.tcp())})
    EXPECT_EQ(ask(sim, to, certs.ca()).out, kRouter) << to;
  // A reply of many TLS records arrives whole, as over the plain socket.
  e2e::Run plain_hosts = e2e::velc(sim, {"-r", "cat", "Device.Hosts."});
  e2e::Run tls_hosts = e2e::velc(sim, {"--ssl", "-u", sim.tcp(), "-r", "cat", "Device.Hosts."}, "",
                                 {"VELC_CA_FILE=" + certs.ca()});
  EXPECT_GT(plain_hosts.out.size(), size_t{1} << 20);
  EXPECT_TRUE(tls_hosts.out == plain_hosts.out) << tls_hosts.out.size() << " bytes";
  // Without --ssl the TLS listener drops the connection during the login, and velc says why.
  e2e::Run plain = ask(sim, sim.tcp(), "", {"-a", "admin:admin"});
  EXPECT_EQ(plain.status, 1);
  EXPECT_EQ(plain.err, "velc: cannot log in as admin: the connection was closed during login; is it a "
                       "TLS port? (use --ssl)\n");

  // A Lua listener makes a connection of its own, to the same destination, over TLS too.
  k::test::TempDir dir;
  e2e::write_file(dir.file("s.lua"), "local device = require('norlan.device')\nlocal l = device.listen(77)\n"
                                     "device.request('Event', {EventId = 77, Data = {Text = 'over tls'}})\n"
                                     "local e = l:wait(10000) print(e.group, e.data.Text)\n");
  e2e::Run lua = e2e::velc(sim, {"--ssl", "-u", sim.tcp(), "-S", dir.file("s.lua")}, "",
                           {"VELC_CA_FILE=" + certs.ca()});
  EXPECT_EQ(lua.out, "77\tover tls\n");

  // The shell: its requests and the events connection both speak TLS.
  e2e::Shell sh(sim, {"--ssl", "-u", sim.tcp(), "-g", "7"}, "", false, {"VELC_CA_FILE=" + certs.ca()});
  EXPECT_EQ(sh.run("cat Device.DeviceInfo.DeviceMode"), kRouter);
  size_t from = sh.pty().mark();
  ASSERT_EQ(e2e::velc(sim, {"-e", "7", "{\"over\":\"tls\"}"}).status, 0);
  EXPECT_TRUE(sh.pty().wait_for("\nEVENT 7:\n{\n    \"over\": \"tls\"\n}\n", from)) << sh.pty().text();
  sh.quit("q\r");
}

TEST(Tls, RefusedCertificatesEndTheRunWithOpenSslsReason) {
  Certs certs, other;                     // for localhost and 127.0.0.1; another CA
  Certs elsewhere("DNS:router.example");  // signed by its own CA, for another name
  Emulator sim(certs.server_options());
  Emulator misnamed(elsewhere.server_options());
  const struct {
    std::string destination, ca, reason;
  } cases[] = {
      {sim.tcp(), other.ca(), "unable to get local issuer certificate"},
      {misnamed.tcp(), elsewhere.ca(), "IP address mismatch"},
      {by_name(misnamed.tcp()), elsewhere.ca(), "hostname mismatch"},
  };
  for (const auto& c : cases) {
    e2e::Run r = ask(sim, c.destination, c.ca);
    EXPECT_EQ(r.status, 1) << c.destination;
    EXPECT_EQ(r.out, "Cannot connect to veld(requests) - TLS handshake failed: certificate verify "
                     "failed (" + c.reason + ")(-23)\n") << c.destination;
  }
  // A client that stalls its handshake holds up nobody: the daemon serves on.
  k::TcpAddress at;
  ASSERT_EQ(k::parse_tcp_destination(sim.tcp(), at), 0);
  int err = 0;
  k::Fd stalled = k::tcp_connect(at, 5000, err);  // connected, and never says a word
  ASSERT_TRUE(stalled) << err;
  EXPECT_EQ(ask(sim, sim.tcp(), certs.ca()).out, kRouter);
}

TEST(Tls, ADaemonThatNeverAnswersTheHandshakeEndsInATimeOut) {
  Emulator sim;
  std::string error;
  uint16_t port = 0;
  // Connections complete in the kernel's queue; nobody ever accepts or answers them.
  k::Fd silent = k::tcp_listen({"127.0.0.1", 0}, port, error);
  ASSERT_TRUE(silent) << error;
  e2e::Run r = e2e::velc(sim, {"--ssl", "-u", "tcp:127.0.0.1:" + std::to_string(port), "-r", "cat", "Device."});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Cannot connect to veld(requests) - Timed out in the TLS handshake(-13)\n");
}

}  // namespace
