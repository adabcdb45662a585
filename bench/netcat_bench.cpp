// The netcat channel of `download`: how fast the sending thread streams a mapped file to veld on
// the loopback address (a reader here plays veld and throws the bytes away).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <future>
#include <string>
#include <vector>

#include "platform/socket.h"
#include "testing/temp_dir.h"
#include "transfer/netcat.h"

namespace {

// Standard output goes to /dev/null for its lifetime (the channel prints its "Sending file"
// line on every run).
struct QuietStdout {
  QuietStdout() : kept(::dup(STDOUT_FILENO)) {
    std::fflush(stdout);
    k::Fd null(::open("/dev/null", O_WRONLY | O_CLOEXEC));
    ::dup2(null.get(), STDOUT_FILENO);
  }
  ~QuietStdout() {
    std::fflush(stdout);
    ::dup2(kept.get(), STDOUT_FILENO);
  }
  k::Fd kept;
};

void NetcatStream(benchmark::State& state) {
  const size_t size = static_cast<size_t>(state.range(0)) << 20;
  k::test::TempDir dir;
  const std::string path = dir.file("image");
  {
    std::vector<char> block(1 << 20);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + 7);
    k::Fd out(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    for (size_t done = 0; done < size; done += block.size())
      k::write_all(out.get(), block.data(), block.size());
  }
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::vector<char> sink(1 << 20);
  for (auto _ : state) {
    std::promise<void> ended;
    std::string url;
    uint64_t file_size = 0;
    {
      QuietStdout quiet;
      if (netcat_open_at(local, path, url, file_size, 10000, [&] { ended.set_value(); }) != 0) {
        state.SkipWithError("the channel did not open");
        return;
      }
    }
    sockaddr_in to = local;
    to.sin_port = htons(static_cast<uint16_t>(std::stoi(url.substr(url.rfind(':') + 1))));
    k::Fd reader(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (::connect(reader.get(), reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
      state.SkipWithError("cannot connect to the channel");
      return;
    }
    size_t got = 0;
    for (ssize_t n; (n = ::read(reader.get(), sink.data(), sink.size())) > 0;)
      got += static_cast<size_t>(n);
    ended.get_future().wait();
    if (got != size) state.SkipWithError("the file did not arrive whole");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}
BENCHMARK(NetcatStream)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
