// download and upgrade against veld-sim, over each channel: "file://" on the UNIX socket, the
// client's one-shot netcat server over TCP (plain and TLS), and a URL that veld-sim fetches over
// http from 127.0.0.1. An upgrade ends with the device running the new version after its reboot.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "harness/certs.h"
#include "harness/process.h"
#include "testing/temp_dir.h"
#include "testing/test_tcp_peer.h"

namespace {

using Strings = std::vector<std::string>;

// A local veld gets the file by its absolute path with its MD5; a remote one from the netcat
// server, with the size (the file is larger than the step in which the server sends it, and
// different in each step); an http URL is veld's to fetch.
TEST(DownloadToTheEmulator, FilesOverEachChannel) {
  k::test::TempDir dir;
  e2e::Emulator sim({"--tcp", "127.0.0.1:0", "--download-dir", dir.file("downloads"), "--access", e2e::accounts()});
  const std::string small = dir.file("notes.txt"), large = dir.file("large.bin");
  e2e::write_file(small, "line one\nline two\n");
  std::string large_content((4 << 20) + 1000, '\0');
  for (size_t i = 0; i < large_content.size(); ++i) large_content[i] = static_cast<char>(i % 251);
  e2e::write_file(large, large_content);
  k::test::OneShotPeer http(k::test::http_answers(200, "served over http\n"));
  const struct {
    std::string destination, path, stored_as, content, out_start;
  } cases[] = {
      {sim.socket(), small, "by-file-url", "line one\nline two\n", ""},
      {sim.socket(), "http://127.0.0.1:" + std::to_string(http.port) + "/f.txt", "by-http", "served over http\n", ""},
      {sim.tcp(), large, "by-netcat", large_content, "Sending file (" + large + ", 4195304 bytes) via netcat"},
  };
  for (const auto& c : cases) {
    e2e::Run r = e2e::velc(sim, {"-u", c.destination, "-a", "admin:admin", "-r", "download", "file", c.path, c.stored_as});
    EXPECT_EQ(r.status, 0) << c.stored_as << ": " << r.out << r.err;
    EXPECT_EQ(r.out.substr(0, c.out_start.size()), c.out_start) << r.out;
    EXPECT_TRUE(e2e::read_file(dir.file("downloads/" + c.stored_as)) == c.content) << c.stored_as;
  }
  // What is no regular file is refused before anything is sent (a FIFO would wait for a writer).
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
  e2e::Run fifo = e2e::velc(sim, {"-a", "admin:admin", "-r", "upgrade", dir.file("fifo")});
  EXPECT_EQ(fifo.out + fifo.err, "download: " + dir.file("fifo") + ": not a regular file (a FIFO).\n");
  EXPECT_NE(fifo.status, 0);
  Strings sent = e2e::sent(sim, "Download");
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_NE(sent[0].find(R"("URL":"file://)" + small + R"(","MD5":"987929d61c9b69f0c6406b840aa77fd8")"), std::string::npos)
      << sent[0];
  EXPECT_NE(sent[2].find(R"("FileSize":4195304)"), std::string::npos) << sent[2];
}

// The whole upgrade over the netcat channel on TLS: the dialogue (a minor version step asks
// nothing), the progress, the reboot into the new version.
TEST(UpgradeTheEmulator, RunsTheNewVersionAfterTheReboot) {
  k::test::TempDir dir;
  e2e::Certs certs;
  Strings options = certs.server_options();
  options.insert(options.end(), {"--flash-time", "200", "--reboot-time", "100", "--access", e2e::accounts()});
  e2e::Emulator sim(options);
  const std::string image = dir.file("4.3.0.img");
  ASSERT_EQ(e2e::run(e2e::source_dir() + "/scripts/make-firmware", {"4.3.0", image, "4096"}).status, 0);
  e2e::Run r = e2e::velc(sim, {"-u", sim.tcp(), "--ssl", "-a", "admin:admin", "-r", "upgrade", image}, "",
                         {"VELC_CA_FILE=" + certs.ca()});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Minor upgrade...\nFlashing: "), std::string::npos) << r.out;
  EXPECT_TRUE(r.out.ends_with("\nStatus: OK\n")) << r.out;
  EXPECT_TRUE(e2e::eventually([&] {  // the device is away while it reboots
    return e2e::velc(sim, {"-r", "cat", "Device.DeviceInfo.SoftwareVersion"}).out == "SoftwareVersion = '4.3.0'\n";
  }));
}

}  // namespace
