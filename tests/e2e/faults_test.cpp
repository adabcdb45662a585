// velc against a daemon that misbehaves: a request that gets no proper reply is reported as the
// error it is, never as a success.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "harness/process.h"
#include "platform/json.h"
#include "platform/socket.h"
#include "testing/temp_dir.h"

namespace {

// A daemon on a socket in a temporary folder that answers the group joins of start-up, then
// answers the next request with `reply` (the text "$ID" standing for its id) and hangs up.
// Each connection is served by a thread of its own, which ends when the client hangs up.
class RudeDaemon {
 public:
  explicit RudeDaemon(std::string reply) : reply_(std::move(reply)), listener_(k::unix_listen(socket())) {
    thread_ = std::thread([this] {
      while (!stop_) {
        pollfd p{listener_.get(), POLLIN, 0};
        if (::poll(&p, 1, 50) == 1)
          clients_.emplace_back(&RudeDaemon::serve, this, k::Fd(accept(listener_.get(), nullptr, nullptr)));
      }
    });
  }
  ~RudeDaemon() {
    stop_ = true;
    thread_.join();
    for (std::thread& t : clients_) t.join();
  }
  std::string socket() const { return dir_.file("veld.sock"); }

 private:
  void serve(k::Fd client) {
    std::string pending;
    char buf[4096];
    for (ssize_t n; client && (n = read(client.get(), buf, sizeof buf)) > 0;) {
      pending.append(buf, static_cast<size_t>(n));
      for (size_t nl; client && (nl = pending.find('\n')) != std::string::npos; pending.erase(0, nl + 1)) {
        k::Json j = k::json_parse(pending.substr(0, nl));
        std::string id = k::json_dump(json_object_get(j.get(), "id"), JSON_ENCODE_ANY);
        std::string text = R"({"jsonrpc":"2.0","id":)" + id + R"(,"result":{"Status":0}})" "\n";
        bool join = k::json_text(j.get(), "method") == "JoinGroup";
        if (!join) text = reply_;
        for (size_t at; (at = text.find("$ID")) != std::string::npos;) text.replace(at, 3, id);
        k::write_all(client.get(), text.data(), text.size());
        if (!join) client.reset();
      }
    }
  }

  k::test::TempDir dir_;
  std::string reply_;
  k::Fd listener_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::vector<std::thread> clients_;  // touched by thread_ alone until it is joined
};

TEST(Faults, ARequestWithoutAProperReplyIsReportedAsAnError) {
  const std::string deep = std::string(3000, '[') + std::string(3000, ']') + "\n";  // past the parser
  const std::pair<std::string, std::string> cases[] = {  // the daemon's reply, what velc prints
      {"", "[-9] Connection closed by peer\n"},
      {"not json\n", "[-11] Malformed message\n"},
      {"{\"a\":1}\n", "[-12] Not a JSON-RPC message\n"},
      {R"({"jsonrpc":"2.0","id":99,"result":{}})" "\n", "[-15] Reply to an unknown request\n"},
      {R"({"jsonrpc":"2.0","id":$ID})" "\n", "[-12] Not a JSON-RPC message\n"},
      {R"({"jsonrpc":"2.0","id":$ID,"result":")" "\xff\"}\n", "[-11] Malformed message\n"},
      {deep, "[-11] Malformed message\n"},
  };
  for (const auto& [reply, printed] : cases) {
    SCOPED_TRACE(reply.substr(0, 60));
    RudeDaemon daemon(reply);
    auto velc = [&](std::vector<std::string> words) {
      words.insert(words.begin(), {"-u", daemon.socket(), "-r"});
      return e2e::run(e2e::bin_dir() + "/velc", words);
    };
    // The failure comes with set's first request, the one that asks for the parameter's type.
    e2e::Run set = velc({"set", "Device.Time.NTPServer1=\"x\""});
    EXPECT_EQ(set.out, "key = Device.Time.NTPServer1, value = \"x\"\n" + printed + "set: no argument.\n");
    EXPECT_EQ(set.status, 255);
    EXPECT_EQ(velc({"add", "Device.Hosts.Host."}).out, printed);
  }
  // Raw mode prints the error that the exchange left, as a reply, and exits with its code.
  RudeDaemon daemon("");
  e2e::Run r = e2e::run(e2e::bin_dir() + "/velc",
                        {"-u", daemon.socket(), "--raw", R"({"jsonrpc":"2.0","id":5,"method":"X"})"});
  EXPECT_EQ(r.out, "<< {\n    \"jsonrpc\": \"2.0\",\n    \"id\": 5,\n    \"error\": {\n"
                   "        \"code\": -9,\n        \"message\": \"Connection closed by peer\"\n    }\n}\n");
  EXPECT_EQ(r.status, -9 & 255);
}

}  // namespace
