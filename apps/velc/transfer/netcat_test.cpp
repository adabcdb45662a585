// The netcat channel: one connection gets the whole file, then the sender releases everything.
#include "transfer/netcat.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <memory>
#include <string>

#include "testing/stdout_capture.h"
#include "testing/temp_dir.h"
#include "transfer/mapped_file.h"

namespace {

sockaddr_in loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  return a;
}

k::Fd connect_to(int port) {
  k::Fd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in a = loopback(port);
  if (connect(fd.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return k::Fd();
  return fd;
}

int port_of(const std::string& url) { return std::stoi(url.substr(url.rfind(':') + 1)); }

// A hook for the record that tells when the thread has released it.
struct EndSignal {
  std::shared_ptr<std::promise<void>> done = std::make_shared<std::promise<void>>();
  std::future<void> ended = done->get_future();
  std::function<void()> hook() {
    return [done = done] { done->set_value(); };
  }
};

TEST(Netcat, VeldsConnectionGetsTheWholeFile) {
  k::test::TempDir dir;
  std::string path = dir.file("fw.img"), bytes;
  // More than two send steps, the last a partial one.
  for (size_t i = 0; i < 2 * k::kMappedFileStep + 4099; ++i) bytes += static_cast<char>(i * 7 % 251);
  std::ofstream(path, std::ios::binary) << bytes;
  // The client's connection to veld, over the loopback: the channel listens on its address.
  k::Fd listener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in any = loopback(0);
  socklen_t len = sizeof any;
  ASSERT_EQ(bind(listener.get(), reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
  ASSERT_EQ(listen(listener.get(), 1), 0);
  getsockname(listener.get(), reinterpret_cast<sockaddr*>(&any), &len);
  k::Fd to_veld = connect_to(ntohs(any.sin_port));

  EndSignal end;
  std::string url;
  size_t size = 0;
  StdoutCapture out;
  ASSERT_EQ(netcat_open(to_veld.get(), path, url, size, 5000, end.hook()), 0);
  EXPECT_EQ(url.rfind("netcat://127.0.0.1:", 0), 0u) << url;
  EXPECT_EQ(size, bytes.size());
  k::Fd veld = connect_to(port_of(url));
  std::string got;
  char buf[65536];
  for (ssize_t n; (n = read(veld.get(), buf, sizeof buf)) > 0;) got.append(buf, size_t(n));
  EXPECT_TRUE(got == bytes) << got.size();  // the end of the data is the end of the file
  end.ended.wait();
  EXPECT_EQ(out.finish(),
            "Sending file (" + path + ", " + std::to_string(bytes.size()) + " bytes) via netcat (" +
                url + ")...\n");
  EXPECT_FALSE(connect_to(port_of(url))) << "one connection only";
}

}  // namespace
