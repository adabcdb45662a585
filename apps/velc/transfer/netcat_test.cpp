// The netcat channel: one connection gets the whole file, then the sender releases everything.
#include "transfer/netcat.h"


#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <future>
#include <memory>
#include <string>

#include "platform/tcp.h"
#include "testing/temp_dir.h"
#include "testing/test_stream.h"

namespace {

// A connection to a port of the loopback address (none when refused).
k::Fd connect_to(int port) {
  int err = 0;
  return k::tcp_connect({"127.0.0.1", static_cast<uint16_t>(port)}, 5000, err);
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
  // Several megabytes, not a whole number of pages.
  for (size_t i = 0; i < (size_t{9} << 20) + 4099; ++i) bytes += static_cast<char>(i * 7 % 251);
  std::ofstream(path, std::ios::binary) << bytes;
  // The client's connection to veld, over the loopback: the channel listens on its address.
  uint16_t port = 0;
  std::string error;
  k::Fd listener = k::tcp_listen({"127.0.0.1", 0}, port, error);
  ASSERT_TRUE(listener) << error;
  k::Fd to_veld = connect_to(port);

  EndSignal end;
  std::string url;
  uint64_t size = 0;
  TestStream out;
  ASSERT_EQ(netcat_open(to_veld.get(), path, url, size, 5000, end.hook(), out.file), 0);
  EXPECT_EQ(url.rfind("netcat://127.0.0.1:", 0), 0u) << url;
  EXPECT_EQ(size, bytes.size());
  k::Fd veld = connect_to(port_of(url));
  std::string got;
  char buf[65536];
  for (ssize_t n; (n = read(veld.get(), buf, sizeof buf)) > 0;) got.append(buf, size_t(n));
  EXPECT_TRUE(got == bytes) << got.size();  // the end of the data is the end of the file
  end.ended.wait();
  EXPECT_EQ(out.text(),
            "Sending file (" + path + ", " + std::to_string(bytes.size()) + " bytes) via netcat (" +
                url + ")...\n");
  EXPECT_FALSE(connect_to(port_of(url))) << "one connection only";
}

// A file over 4 GiB (sparse, so it costs no disk) keeps its true size, in what is announced and
// what veld is told, and its bytes past 4 GiB are sent from their true offset: on a 32-bit
// processor a size in a size_t, or an offset in 32 bits, would fail here.
TEST(Netcat, AFileOverFourGiBKeepsItsSizeAndItsOffsets) {
  k::test::TempDir dir;
  std::string path = dir.file("big.img");
  const uint64_t big = (uint64_t{1} << 32) + 4096 + 5;
  k::Fd fd(::open(path.c_str(), O_RDWR | O_CREAT, 0600));
  ASSERT_EQ(::pwrite(fd.get(), "tail!", 5, static_cast<off_t>(big - 5)), 5);
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  k::Fd to(pair[0]), from(pair[1]);
  EXPECT_EQ(send_file_range(to.get(), fd.get(), big - 5, 10), 5u) << "the file ends after 5";
  char got[8] = {};
  EXPECT_EQ(::read(from.get(), got, sizeof got), 5);
  EXPECT_STREQ(got, "tail!");

  sockaddr_in local{};
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EndSignal end;
  std::string url;
  uint64_t size = 0;
  TestStream out;
  ASSERT_EQ(netcat_open_at(local, path, url, size, 1, end.hook(), out.file), 0);
  end.ended.wait();  // nobody connects
  EXPECT_EQ(size, big);
  EXPECT_EQ(out.text(), "Sending file (" + path + ", " + std::to_string(big) + " bytes) via netcat (" +
                            url + ")...\nWaiting timeout, abort.\n");
}

}  // namespace
