// The netcat channel: one connection gets the whole file, then the sender releases everything.
#include "transfer/netcat.h"


#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <memory>
#include <string>

#include "platform/tcp.h"
#include "testing/temp_dir.h"
#include "testing/test_stream.h"
#include "transfer/mapped_file.h"

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
  // More than two send steps, the last a partial one.
  for (size_t i = 0; i < 2 * k::kMappedFileStep + 4099; ++i) bytes += static_cast<char>(i * 7 % 251);
  std::ofstream(path, std::ios::binary) << bytes;
  // The client's connection to veld, over the loopback: the channel listens on its address.
  uint16_t port = 0;
  std::string error;
  k::Fd listener = k::tcp_listen({"127.0.0.1", 0}, port, error);
  ASSERT_TRUE(listener) << error;
  k::Fd to_veld = connect_to(port);

  EndSignal end;
  std::string url;
  size_t size = 0;
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

}  // namespace
