// velc against a daemon that misbehaves: a request that gets no proper reply is reported as the
// error it is, never as a success.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "harness/process.h"
#include "platform/json.h"
#include "platform/socket.h"
#include "testing/temp_dir.h"

namespace {

// A daemon on a socket in a temporary folder that answers the group joins of start-up, then
// answers every other request with `reply` (the text "$ID" standing for the request's id) and
// closes the connection.
class RudeDaemon {
 public:
  explicit RudeDaemon(std::string reply)
      : reply_(std::move(reply)), socket_(dir_.file("veld.sock")) {
    listener_ = k::unix_listen(socket_);
    thread_ = std::thread([this] { serve(); });
  }
  ~RudeDaemon() {
    stop_ = true;
    thread_.join();
  }
  const std::string& socket() const { return socket_; }

 private:
  // Serves the connections one line at a time, from one thread, until stopped.
  void serve() {
    std::vector<k::Fd> clients;
    std::vector<std::string> pending;
    while (!stop_) {
      std::vector<pollfd> fds{{listener_.get(), POLLIN, 0}};
      for (const k::Fd& c : clients) fds.push_back({c.get(), POLLIN, 0});
      if (::poll(fds.data(), fds.size(), 50) <= 0) continue;
      if (fds[0].revents & POLLIN) {
        clients.emplace_back(accept(listener_.get(), nullptr, nullptr));
        pending.emplace_back();
      }
      for (size_t i = 0; i + 1 < fds.size(); ++i) {
        if (!(fds[i + 1].revents & (POLLIN | POLLHUP)) || !clients[i]) continue;
        char buf[4096];
        ssize_t n = read(clients[i].get(), buf, sizeof buf);
        if (n <= 0) {
          clients[i].reset();
          continue;
        }
        pending[i].append(buf, static_cast<size_t>(n));
        for (size_t nl; clients[i] && (nl = pending[i].find('\n')) != std::string::npos;) {
          std::string line = pending[i].substr(0, nl);
          pending[i].erase(0, nl + 1);
          answer(clients[i], line);
        }
      }
    }
  }

  void answer(k::Fd& client, const std::string& request) {
    k::Json j = k::json_parse(request);
    std::string id = k::json_dump(json_object_get(j.get(), "id"), JSON_ENCODE_ANY);
    if (k::json_text(j.get(), "method") == "JoinGroup") {
      std::string ok = R"({"jsonrpc":"2.0","id":)" + id + R"(,"result":{"Status":0}})" "\n";
      k::write_all(client.get(), ok.data(), ok.size());
      return;
    }
    std::string text = reply_;
    for (size_t at; (at = text.find("$ID")) != std::string::npos;) text.replace(at, 3, id);
    k::write_all(client.get(), text.data(), text.size());
    client.reset();
  }

  k::test::TempDir dir_;
  std::string reply_;
  std::string socket_;
  k::Fd listener_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST(Faults, ARequestWithoutAProperReplyIsReportedAsAnError) {
  // Deeper than the JSON parser goes.
  const std::string deep = std::string(3000, '[') + std::string(3000, ']') + "\n";
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
    SCOPED_TRACE(reply);
    {
      RudeDaemon daemon(reply);
      e2e::Run set = e2e::run(e2e::bin_dir() + "/velc",
                              {"-u", daemon.socket(), "-r", "set", "Device.Time.NTPServer1=\"x\""});
      // The failure comes with set's first request, the one that asks for the parameter's type.
      EXPECT_EQ(set.out,
                "key = Device.Time.NTPServer1, value = \"x\"\n" + printed + "set: no argument.\n");
      EXPECT_EQ(set.status, 255);
    }
    {
      RudeDaemon daemon(reply);
      e2e::Run add = e2e::run(e2e::bin_dir() + "/velc",
                              {"-u", daemon.socket(), "-r", "add", "Device.Hosts.Host."});
      EXPECT_EQ(add.out, printed);
    }
  }
}

TEST(Faults, RawModePrintsTheErrorTheExchangeLeft) {
  RudeDaemon daemon("");
  e2e::Run r = e2e::run(e2e::bin_dir() + "/velc",
                        {"-u", daemon.socket(), "--raw", R"({"jsonrpc":"2.0","id":5,"method":"X"})"});
  EXPECT_EQ(r.out,
            "<< {\n    \"jsonrpc\": \"2.0\",\n    \"id\": 5,\n    \"error\": {\n"
            "        \"code\": -9,\n        \"message\": \"Connection closed by peer\"\n    }\n}\n");
  EXPECT_EQ(r.status, -9 & 255);
}

}  // namespace
