// download and upgrade against veld-sim, over each channel: "file://" on the UNIX socket, the
// client's one-shot netcat server over TCP (plain and TLS), and a URL that veld-sim fetches over
// http from 127.0.0.1. An upgrade ends with the device running the new version after its reboot.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "harness/certs.h"
#include "harness/process.h"
#include "testing/temp_dir.h"
#include "testing/test_tcp_peer.h"

namespace {

using Strings = std::vector<std::string>;

// velc as admin against `destination` (the UNIX socket, or tcp:HOST:PORT), with `extra` options.
e2e::Run velc_as_admin(const std::string& destination, const Strings& args,
                       const Strings& extra = {}, const Strings& env = {}) {
  Strings all = {"-u", destination, "-a", "admin:admin"};
  all.insert(all.end(), extra.begin(), extra.end());
  all.insert(all.end(), args.begin(), args.end());
  return e2e::run(e2e::bin_dir() + "/velc", all, "", env);
}

// The running version, asked until it is `expected` or 200 tries have passed (the device is
// away while it reboots).
std::string version_becomes(const e2e::Emulator& sim, const std::string& expected) {
  std::string last;
  for (int i = 0; i < 200 && last != expected; ++i) {
    e2e::Run r = e2e::velc(sim, {"-r", "cat", "Device.DeviceInfo.SoftwareVersion"});
    if (r.status == 0 && r.out.rfind("SoftwareVersion = '", 0) == 0)
      last = r.out.substr(19, r.out.size() - 21);
  }
  return last;
}

std::string make_image(const k::test::TempDir& dir, const std::string& version,
                       const Strings& flags = {}) {
  std::string image = dir.file(version + ".img");
  Strings args = flags;
  args.insert(args.end(), {version, image, "4096"});
  e2e::Run made = e2e::run(e2e::source_dir() + "/scripts/make-firmware", args);
  EXPECT_EQ(made.status, 0) << made.err;
  return image;
}

TEST(DownloadToTheEmulator, FilesOverEachChannel) {
  k::test::TempDir dir;
  e2e::Emulator sim({"--tcp", "127.0.0.1:0", "--download-dir", dir.file("downloads"), "--access",
                     e2e::accounts()});
  ASSERT_FALSE(sim.tcp().empty());
  const std::string source = dir.file("notes.txt");
  std::ofstream(source) << "line one\nline two\n";
  // Larger than the step in which the netcat server sends a file, and different in each step.
  std::string large_content((4 << 20) + 1000, '\0');
  for (size_t i = 0; i < large_content.size(); ++i) large_content[i] = static_cast<char>(i % 251);
  const std::string large = dir.file("large.bin");
  e2e::write_file(large, large_content);
  k::test::OneShotPeer http(k::test::http_answers(200, "served over http\n"));
  const std::string http_url = "http://127.0.0.1:" + std::to_string(http.port) + "/f.txt";

  const struct {
    std::string destination;
    std::string path;
    std::string stored_as;
    std::string content;
    std::string out_start;  // the netcat channel names its port, which the system chose
  } cases[] = {
      {sim.socket(), source, "by-file-url", "line one\nline two\n", ""},
      {sim.tcp(), source, "by-netcat", "line one\nline two\n",
       "Sending file (" + source + ", 18 bytes) via netcat (netcat://127.0.0.1:"},
      {sim.socket(), http_url, "by-http", "served over http\n", ""},
      {sim.tcp(), large, "large-by-netcat", large_content, "Sending file (" + large + ", 4195304 bytes) via netcat"},
  };
  for (const auto& c : cases) {
    e2e::Run r = velc_as_admin(c.destination, {"-r", "download", "file", c.path, c.stored_as});
    EXPECT_EQ(r.status, 0) << c.stored_as << ": " << r.out << r.err;
    if (c.out_start.empty()) {
      EXPECT_EQ(r.out, "") << c.stored_as;
    } else {
      EXPECT_EQ(r.out.rfind(c.out_start, 0), 0u) << r.out;
    }
    EXPECT_TRUE(e2e::read_file(dir.file("downloads/" + c.stored_as)) == c.content) << c.stored_as;
  }
  // The request names the channel: the file by its absolute path with its MD5, the netcat
  // server with the size.
  std::string log;
  for (const std::string& line : e2e::sent(sim, "Download")) log += line + "\n";
  EXPECT_NE(log.find(R"("URL":"file://)" + source + R"(","MD5":"987929d61c9b69f0c6406b840aa77fd8")"), std::string::npos)
      << log;
  EXPECT_NE(log.find(R"("FileSize":18)"), std::string::npos) << log;
}

// The whole upgrade: the dialogue, the progress, the reboot into the new version. A minor
// version step asks nothing. A forged or truncated image fails the flash: the old version
// stays, and velc says so and fails.
TEST(UpgradeTheEmulator, RunsTheNewVersionAfterTheReboot) {
  k::test::TempDir dir;
  e2e::Certs certs;
  const std::string forged = make_image(dir, "4.2.9", {"--bad-checksum"});
  // The whole header and half of the payload.
  const std::string truncated = make_image(dir, "4.2.8");
  std::filesystem::resize_file(truncated, 48 + 5 + 2048);
  const struct {
    std::string name;
    Strings sim_tls;
    Strings velc_tls;
    bool over_tcp;
  } channels[] = {
      {"file url", {}, {}, false},
      {"netcat", {}, {}, true},
      {"netcat over TLS",
       {"--tls-cert", certs.dir.file("server.pem"), "--tls-key", certs.dir.file("server.key")},
       {"--ssl"},
       true},
  };
  for (const auto& ch : channels) {
    Strings options = {"--tcp",         "127.0.0.1:0", "--flash-time", "200",
                       "--reboot-time", "100",         "--access",     e2e::accounts()};
    options.insert(options.end(), ch.sim_tls.begin(), ch.sim_tls.end());
    e2e::Emulator sim(options);
    std::string destination = ch.over_tcp ? sim.tcp() : sim.socket();
    Strings env = {"VELC_CA_FILE=" + certs.ca()};

    for (const std::string& broken : {forged, truncated}) {
      if (ch.over_tcp) break;  // the flash fails on the device, whichever the channel
      e2e::Run r = velc_as_admin(destination, {"-r", "upgrade", broken}, ch.velc_tls, env);
      EXPECT_EQ(r.status, 255) << r.out << r.err;
      EXPECT_NE(r.out.find("Build upgrade...\nFlashing: "), std::string::npos) << r.out;
      EXPECT_TRUE(r.out.ends_with("\nUpgrade failed: UpgradeStatus -1.\n")) << r.out;
      EXPECT_EQ(version_becomes(sim, "4.2.1-build2031"), "4.2.1-build2031");
    }
    std::string image = make_image(dir, "4.3.0");
    e2e::Run r = velc_as_admin(destination, {"-r", "upgrade", image}, ch.velc_tls, env);
    EXPECT_EQ(r.status, 0) << ch.name << ": " << r.out << r.err;
    EXPECT_NE(r.out.find("Minor upgrade...\nFlashing: "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - 12), "\nStatus: OK\n") << r.out;
    EXPECT_EQ(version_becomes(sim, "4.3.0"), "4.3.0") << ch.name;
  }
}

// Only a regular file is handed over, on either channel: a FIFO (which would block velc until
// Ctrl-C) is refused with the reason, and veld is asked nothing.
TEST(DownloadToTheEmulator, RefusesWhatIsNotARegularFile) {
  k::test::TempDir dir;
  e2e::Emulator sim({"--tcp", "127.0.0.1:0", "--access", e2e::accounts()});
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& destination : {sim.socket(), sim.tcp()}) {
    for (const char* command : {"download", "upgrade"}) {
      e2e::Run r = velc_as_admin(destination, std::string(command) == "upgrade" ? Strings{"-r", "upgrade", fifo}
                                                                              : Strings{"-r", "download", "file", fifo});
      EXPECT_EQ(r.status, 255) << destination;
      EXPECT_EQ(r.out, "download: " + fifo + ": not a regular file (a FIFO).\n") << destination;
    }
  }
  EXPECT_EQ(e2e::sent(sim, "Download"), Strings{});
}

// A device that reboots at once is back before the next poll, and a token login would be
// renewed on a new connection: the client ends all the same, with the device on the new version.
TEST(UpgradeTheEmulator, EndsWhenTheDeviceComesBackBetweenTwoPolls) {
  k::test::TempDir dir;
  const std::string access = dir.file("access.json");
  // The digest is sha256("upgrade-token").
  std::ofstream(access) << R"({"#access": {"guest": {".": "r"}, "users": {"op": {)"
                           R"("tokenDigests": ["b5ed66b9ea26d607947453c8e3c3b282d851d702a090ec0b20004a23568e4ea6"],)"
                           R"("systemAccess": true, "enabled": true, "rights": {".": "rwadx"}}}}})";
  e2e::Emulator sim({"--flash-time", "100", "--reboot-time", "0", "--access", access});
  std::string image = make_image(dir, "4.2.5");
  e2e::Run r = e2e::run(e2e::bin_dir() + "/velc",
                        {"-u", sim.socket(), "-a", "upgrade-token", "-r", "upgrade", image});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out.substr(r.out.size() - 12), "\nStatus: OK\n") << r.out;
  EXPECT_EQ(version_becomes(sim, "4.2.5"), "4.2.5");
}

}  // namespace
