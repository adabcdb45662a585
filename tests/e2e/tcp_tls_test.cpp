// velc over TCP and TLS against veld-sim's --tcp listener: requests and events, refused
// certificates, and a daemon that never finishes the handshake.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "harness/certs.h"
#include "harness/process.h"
#include "harness/shell_session.h"
#include "platform/tcp.h"

namespace {

using e2e::Certs;
using e2e::Emulator;

// The same destination by name.
std::string by_name(const std::string& tcp) {
  return "tcp:localhost:" + tcp.substr(tcp.rfind(':') + 1);
}

TEST(Tcp, RequestsReachTheDaemonByAddressAndByName) {
  Emulator sim({"--tcp", "127.0.0.1:0"});
  ASSERT_EQ(sim.tcp().rfind("tcp:127.0.0.1:", 0), 0u) << sim.tcp();
  for (const std::string& to : {sim.tcp(), by_name(sim.tcp())}) {
    e2e::Run r = e2e::velc(sim, {"-u", to, "-r", "cat", "Device.DeviceInfo.DeviceMode"});
    EXPECT_EQ(r.status, 0) << to << r.out;
    EXPECT_EQ(r.out, "DeviceMode = 'Router'\n") << to;
  }
}

TEST(Tcp, DestinationsThatCannotBeReached) {
  Emulator sim;
  std::string error;
  uint16_t port = 0;
  {
    k::Fd gone = k::tcp_listen({"127.0.0.1", 0}, port, error);  // a port nobody listens on
  }
  const struct {
    std::string destination;
    std::string out;
  } cases[] = {
      {"tcp:127.0.0.1", "Cannot connect to veld(requests) - Bad address, expected tcp:HOST:PORT(-20)\n"},
      {"tcp:127.0.0.1:" + std::to_string(port),
       "Cannot connect to veld(requests) - Connection refused(-4)\n"},
  };
  for (const auto& c : cases) {
    e2e::Run r = e2e::velc(sim, {"-u", c.destination, "-r", "cat", "Device."});
    EXPECT_EQ(r.status, 1) << c.destination;
    EXPECT_EQ(r.out, c.out) << c.destination;
    EXPECT_EQ(r.err, "velc: tried TCP " + c.destination.substr(4) + "\n") << c.destination;
  }
}

TEST(Tls, RequestsAndEventsOverAVerifiedConnection) {
  Certs certs;
  std::vector<std::string> options = certs.server_options();
  options.insert(options.end(), {"--hosts", "3000"});
  Emulator sim(options);
  ASSERT_FALSE(sim.tcp().empty());
  std::vector<std::string> env = {"VELC_CA_FILE=" + certs.ca()};
  for (const std::string& to : {sim.tcp(), by_name(sim.tcp())}) {
    e2e::Run r =
        e2e::velc(sim, {"--ssl", "-u", to, "-r", "cat", "Device.DeviceInfo.DeviceMode"}, "", env);
    EXPECT_EQ(r.status, 0) << to << r.out;
    EXPECT_EQ(r.out, "DeviceMode = 'Router'\n") << to;
  }
  // A reply of many TLS records arrives whole, as over the plain socket.
  e2e::Run plain_hosts = e2e::velc(sim, {"-r", "cat", "Device.Hosts."});
  e2e::Run tls_hosts = e2e::velc(sim, {"--ssl", "-u", sim.tcp(), "-r", "cat", "Device.Hosts."}, "", env);
  EXPECT_GT(plain_hosts.out.size(), size_t{1} << 20);
  EXPECT_TRUE(tls_hosts.out == plain_hosts.out) << tls_hosts.out.size() << " bytes";
  // Without --ssl the TLS listener drops the connection, and velc reports the lost exchange.
  e2e::Run plain = e2e::velc(sim, {"-u", sim.tcp(), "-r", "cat", "Device.DeviceInfo.DeviceMode"});
  EXPECT_EQ(plain.out.rfind("[-", 0), 0u) << plain.out;

  // A Lua listener makes a connection of its own, to the same destination, over TLS too.
  k::test::TempDir dir;
  std::ofstream(dir.file("s.lua")) << R"lua(local device = require('norlan.device')
local l = device.listen(77)
print(device.request("Event", {EventId = 77, Data = {Text = "over tls"}}).Status)
local e = l:wait(10000)
print(e.group, e.data.Text)
)lua";
  e2e::Run lua = e2e::velc(sim, {"--ssl", "-u", sim.tcp(), "-S", dir.file("s.lua")}, "", env);
  EXPECT_EQ(lua.out, "0\n77\tover tls\n");

  // The shell: its requests and the events connection both speak TLS.
  e2e::Shell sh(sim, {"--ssl", "-u", sim.tcp(), "-g", "7"}, "", false, env);
  EXPECT_EQ(sh.run("cat Device.DeviceInfo.DeviceMode"), "DeviceMode = 'Router'\n");
  size_t from = sh.pty().mark();
  ASSERT_EQ(e2e::velc(sim, {"-e", "7", "{\"over\":\"tls\"}"}).status, 0);
  EXPECT_TRUE(sh.pty().wait_for("\nEVENT 7:\n{\n    \"over\": \"tls\"\n}\n", from))
      << sh.pty().text();
  sh.quit("q\r");
}

TEST(Tls, RefusedCertificatesEndTheRunWithOpenSslsReason) {
  Certs certs;                         // for localhost and 127.0.0.1
  Certs other;                         // another CA
  Certs elsewhere("DNS:router.example");  // signed by its own CA, for another name
  Emulator sim(certs.server_options());
  Emulator misnamed(elsewhere.server_options());
  const std::string refused =
      "Cannot connect to veld(requests) - TLS handshake failed: certificate verify failed (";
  const struct {
    std::string destination;
    std::string ca;
    std::string reason;
  } cases[] = {
      {sim.tcp(), other.ca(), "unable to get local issuer certificate)(-23)\n"},
      {misnamed.tcp(), elsewhere.ca(), "IP address mismatch)(-23)\n"},
      {by_name(misnamed.tcp()), elsewhere.ca(), "hostname mismatch)(-23)\n"},
  };
  for (const auto& c : cases) {
    e2e::Run r = e2e::velc(sim, {"--ssl", "-u", c.destination, "-r", "cat", "Device."}, "",
                           {"VELC_CA_FILE=" + c.ca});
    EXPECT_EQ(r.status, 1) << c.destination;
    EXPECT_EQ(r.out, refused + c.reason) << c.destination;
  }
  // The daemon serves on: a refused client does not stop the others.
  e2e::Run ok = e2e::velc(sim, {"--ssl", "-u", sim.tcp(), "-r", "cat", "Device.DeviceInfo.DeviceMode"},
                          "", {"VELC_CA_FILE=" + certs.ca()});
  EXPECT_EQ(ok.out, "DeviceMode = 'Router'\n");
}

TEST(Tls, AClientStallingItsHandshakeHoldsUpNobody) {
  Certs certs;
  Emulator sim(certs.server_options());
  k::TcpAddress at;
  ASSERT_EQ(k::parse_tcp_destination(sim.tcp(), at), 0);
  int err = 0;
  k::Fd stalled = k::tcp_connect(at, 5000, err);  // connected, and never says a word
  ASSERT_TRUE(stalled) << err;
  e2e::Run r = e2e::velc(sim, {"--ssl", "-u", sim.tcp(), "-r", "cat", "Device.DeviceInfo.DeviceMode"},
                         "", {"VELC_CA_FILE=" + certs.ca()});
  EXPECT_EQ(r.out, "DeviceMode = 'Router'\n");
}

TEST(Tls, ADaemonThatNeverAnswersTheHandshakeEndsInATimeOut) {
  Emulator sim;
  std::string error;
  uint16_t port = 0;
  // Connections complete in the kernel's queue; nobody ever accepts or answers them.
  k::Fd silent = k::tcp_listen({"127.0.0.1", 0}, port, error);
  ASSERT_TRUE(silent) << error;
  e2e::Run r = e2e::velc(
      sim, {"--ssl", "-u", "tcp:127.0.0.1:" + std::to_string(port), "-r", "cat", "Device."});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Cannot connect to veld(requests) - Timed out in the TLS handshake(-13)\n");
}

}  // namespace
