// velc over TLS against veld-sim's --tcp listener: requests and events, refused certificates,
// and a plain client at a TLS port.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness/certs.h"
#include "harness/process.h"
#include "harness/shell_session.h"

namespace {

using e2e::Certs;
using e2e::Emulator;
using Strings = std::vector<std::string>;

// The same destination by name.
std::string by_name(const std::string& tcp) { return "tcp:localhost:" + tcp.substr(tcp.rfind(':') + 1); }

// velc -u `to` (with --ssl when `ca` is given, trusting it) asking for the device mode.
e2e::Run ask(const Emulator& sim, const std::string& to, const std::string& ca = "") {
  Strings args = {"-u", to, "-r", "cat", "Device.DeviceInfo.DeviceMode"};
  if (!ca.empty()) args.push_back("--ssl");
  return e2e::velc(sim, args, "", ca.empty() ? Strings{} : Strings{"VELC_CA_FILE=" + ca});
}

// Requests, a reply of many TLS records, and the shell's events connection over a verified
// connection; certificates refused with OpenSSL's reason; without --ssl the TLS listener drops
// the connection during the login, and velc says why.
TEST(Tls, VerifiedConnectionsAndRefusals) {
  Certs certs, other;                     // for localhost and 127.0.0.1; another CA
  Certs elsewhere("DNS:router.example");  // signed by its own CA, for another name
  Strings options = certs.server_options();
  options.insert(options.end(), {"--hosts", "3000"});
  Emulator sim(options), misnamed(elsewhere.server_options());
  EXPECT_EQ(ask(sim, by_name(sim.tcp()), certs.ca()).out, "DeviceMode = 'Router'\n");  // TCP by name
  e2e::Run plain_hosts = e2e::velc(sim, {"-r", "cat", "Device.Hosts."});
  e2e::Run tls_hosts = e2e::velc(sim, {"--ssl", "-u", sim.tcp(), "-r", "cat", "Device.Hosts."}, "",
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
    e2e::Run r = ask(sim, c.destination, c.ca);
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

}  // namespace
