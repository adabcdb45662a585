#include "daemon/server.h"

#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "daemon/authentication.h"
#include "downloads/firmware_image.h"
#include "engine/test_model.h"
#include "platform/line_reader.h"
#include "platform/socket.h"
#include "platform/tcp.h"
#include "testing/temp_dir.h"
#include "testing/test_tcp_peer.h"

// Test helpers: a veld-sim server on a socket in a fresh temporary folder, served by a thread,
// and a line-based client. Waits are bounded so a broken server fails a test instead of hanging
// it; no test depends on how long anything takes.
namespace sim::test {

// A JSON value as compact text ("none" for none), for messages in test failures.
inline std::string dump(json_t* v) {
  return v ? k::json_dump(v, JSON_COMPACT | JSON_ENCODE_ANY) : "none";
}

// A server on the test model (with these accounts) at `socket_path`, running in its own thread
// until stopped.
struct RunningServer {
  explicit RunningServer(ServerConfig config = {}, Accounts accounts = {})
      : engine(test_model_tree(), std::move(accounts)) {
    start(std::move(config));
  }
  // A server on a device built from `setup`, booted first.
  RunningServer(ServerConfig config, DeviceSetup setup) : engine(std::move(setup)) {
    std::string error;
    if (!engine.boot(error)) throw std::runtime_error(error);
    start(std::move(config));
  }
  ~RunningServer() { stop(); }
  void start(ServerConfig config) {
    config.socket_path = socket_path = dir.file("veld.sock");
    server = std::make_unique<Server>(engine, config);
    std::string error;
    if (!server->listen(error) || ::pipe(stop_pipe) != 0) throw std::runtime_error(error);
    thread = std::thread([this] { server->run(stop_pipe[0]); });
  }
  void stop() {  // ends the loop, with whatever is still pending
    if (!thread.joinable()) return;
    (void)!::write(stop_pipe[1], "x", 1);
    thread.join();
    ::close(stop_pipe[0]), ::close(stop_pipe[1]);
  }
  k::test::TempDir dir;
  std::string socket_path;
  Engine engine;
  std::unique_ptr<Server> server;
  int stop_pipe[2] = {-1, -1};
  std::thread thread;
};

// One connection that writes text and reads lines.
struct TestClient {
  explicit TestClient(const std::string& socket_path) { int err; fd = k::unix_connect(socket_path, err); }
  bool send(const std::string& text) { return k::write_all(fd.get(), text.data(), text.size()); }
  bool request(const std::string& json) { return send(json + "\n"); }
  // The next line parsed as JSON; none when the peer closed, the read failed or nothing came
  // within a bound reached only when something is broken.
  k::Json message() {
    for (;;) {
      if (auto l = reader.next_line()) return k::json_parse(*l);
      if (!fill()) return {};
    }
  }
  // True once the server has closed the connection (reads everything still on the way).
  bool closed_by_server() {
    while (fill()) reader.clear();
    return closed;
  }
  // Reads once, at most `max` bytes (up to 64 KiB).
  bool fill(size_t max = 65536) {
    pollfd p{fd.get(), POLLIN, 0};
    char buf[65536];
    if (::poll(&p, 1, 20000) <= 0) return false;
    ssize_t n = ::read(fd.get(), buf, std::min(max, sizeof buf));
    if (n <= 0) return !(closed = true);
    reader.feed(buf, static_cast<size_t>(n));
    return true;
  }
  k::Fd fd;
  k::LineReader reader;
  bool closed = false;
};

// A member of a parsed message by a dotted key path ("error.code"); none when absent.
inline json_t* member(const k::Json& msg, const std::string& dotted) {
  json_t* v = msg.get();
  std::istringstream keys(dotted);
  for (std::string key; v && std::getline(keys, key, '.');) v = json_object_get(v, key.c_str());
  return v;
}

}  // namespace sim::test

namespace sim {
namespace {

using test::dump;
using test::member;
using test::RunningServer;
using test::TestClient;
using k::test::OneShotPeer;
using k::test::http_answers;
using k::test::sends;

constexpr const char* kNamesRequest = R"({"jsonrpc":"2.0","id":99,"method":"GetParameterNames","params":{"ParameterPath":"Device.Host.","NextLevel":true}})";

// Sends kNamesRequest and expects its reply next: nothing else was queued for the client.
void expect_nothing_queued(TestClient& c) {
  c.request(kNamesRequest);
  EXPECT_EQ(dump(member(c.message(), "id")), "99");
}

// A request's text (params: JSON text).
std::string request(int id, const char* method, const char* params = "{}") {
  return R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"method":")" + method +
         R"(","params":)" + params + "}";
}

TEST(Server, AnswersMalformedInputWithErrorsKeepsServingAndLogsEveryLine) {
  const struct {
    const char* line;
    int code;
    const char* id;  // the reply's id as JSON
  } cases[] = {
      {R"({"jsonrpc":"2.0","id":1,"method":)", -32700, "null"},
      {"[1,2]", -32600, "null"},
      {R"({"jsonrpc":"1.0","id":3,"method":"GetParameterNames"})", -32600, "3"},
      {R"({ "jsonrpc" : "2.0", "id" : 7, "method" : "Nope" })", -32601, "7"},
      {R"({"jsonrpc":"2.0","id":8,"method":"GetParameterValues","params":[1]})", -32602, "8"},
      {R"({"jsonrpc":"2.0","id":14,"method":"SetParameterValues","params":{"ParameterList":[{"Name":"Device.Name"}]}})", -32602, "14"},
      {R"({"jsonrpc":"2.0","id":18,"method":"Reboot","params":{"Force":"yes"}})", -32602, "18"},
      // A guest: the device actions' right comes after the shape, before the values.
      {R"({"jsonrpc":"2.0","id":23,"method":"Reboot","params":{"DeviceMode":"Gateway"}})", 9001, "23"},
      {R"({"jsonrpc":"2.0","id":24,"method":"FactoryReset","params":{"DeviceMode":"Gateway"}})", 9001, "24"},
      {R"({"jsonrpc":"2.0","id":25,"method":"SaveConfig","params":{"RestorePointName":""}})", 9001, "25"},
      {R"({"jsonrpc":"2.0","id":"s","method":"GetParameterNames","params":{"ParameterPath":"Device.Nope."}})", 9005, "\"s\""},
      {R"({"jsonrpc":"2.0","id":15,"method":"GetParameterValues","params":{"ParameterNames":["Device.Na\u0000me"]}})", -32700, "null"},
      {R"({"jsonrpc":"2.0","id":17,"method":"ChangeOrder","params":{"ObjectName":"Device.Rule.1.","Order":9223372036854775808}})", -32700, "null"},
  };
  k::test::TempDir dir;
  RunningServer server({.request_log = dir.file("requests.log")});
  TestClient client(server.socket_path);
  std::string sent;  // every line but the blank ones, as the log keeps them
  for (const auto& c : cases) sent += std::string(c.line) + "\n";
  // Ignored: notifications and replies; tolerated: CR before LF.
  sent += R"({"jsonrpc":"2.0","method":"GetParameterNames","params":{"ParameterPath":"."}})" "\n";
  sent += R"({"jsonrpc":"2.0","id":77,"result":{}})" "\n";
  sent += R"({"jsonrpc":"2.0","error":{"code":1,"message":"x"}})" "\n";
  sent += std::string(kNamesRequest) + "\r\n";
  ASSERT_TRUE(client.send("\n  \n" + sent));  // blank lines are no requests
  for (const auto& c : cases) {
    k::Json reply = client.message();
    EXPECT_EQ(json_integer_value(member(reply, "error.code")), c.code) << c.line;
    EXPECT_EQ(dump(member(reply, "id")), c.id) << c.line;
    EXPECT_TRUE(json_is_string(member(reply, "error.message"))) << c.line;
  }
  k::Json last = client.message();
  EXPECT_TRUE(member(last, "result.ParameterList") && dump(member(last, "id")) == "99");
  std::ifstream log(dir.file("requests.log"), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(log), {}), sent);
}

// How sessions and their receiving connections share events is the router's: here what the
// server makes of it.
TEST(Server, EventsReachTheSessionsThatJoinedTheirGroup) {
  RunningServer server;
  TestClient watcher(server.socket_path), bystander(server.socket_path), sender(server.socket_path);
  TestClient* joined[] = {&watcher, &bystander, &sender};
  // All requests are sent before any reply is read: each reply must come on its own connection.
  for (int id = 0; id < 3; ++id)
    joined[id]->request(request(id, "JoinGroup", id ? R"({"Group":7})" : R"({"Group":4,"Session":"p1"})"));
  for (int id = 0; id < 3; ++id)
    EXPECT_EQ(dump(joined[id]->message().get()), R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"result":{"Status":0}})");
  sender.request(request(3, "DeleteObject", R"({"ObjectName":"Device.Host.3."})"));
  EXPECT_EQ(dump(member(sender.message(), "result")), R"({"Status":0})");
  EXPECT_EQ(dump(watcher.message().get()),
            R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":4,"Data":{"Action":"Delete","Path":"Device.Host.3.","InstanceNumber":3}}})");
  // A client's event is relayed to the other sessions of its group.
  const char* hello = R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":7,"Data":{"Text":"hello"}}})";
  sender.request(hello);
  EXPECT_EQ(dump(bystander.message().get()), hello);
  for (TestClient* c : joined) expect_nothing_queued(*c);
}

TEST(Server, OverLongLineIsAnsweredOnceUnreadAndAHalfClosedClientStillGetsItsReplies) {
  RunningServer server;  // requests up to 4 MiB
  TestClient client(server.socket_path);
  std::thread writer([&] {
    for (int i = 0; i < 24; ++i) client.send(std::string(1 << 20, 'x'));
    client.send("\n" + std::string(kNamesRequest) + "\n");
    ::shutdown(client.fd.get(), SHUT_WR);
  });
  k::Json refused = client.message();
  EXPECT_EQ(dump(refused.get()),
            R"({"jsonrpc":"2.0","id":null,"error":{"code":9004,"message":"Resources exceeded",)"
            R"("detail":"the request is longer than the 4 MiB a request may take"}})");
  writer.join();
  EXPECT_EQ(dump(member(client.message(), "id")), "99");
  EXPECT_TRUE(client.closed_by_server());
}

TEST(Server, TooLargeRepliesAndRequestsGetResourcesExceededAndTheConnectionGoesOn) {
  const std::string all_values =  // a reply of about 1 KiB
      R"({"jsonrpc":"2.0","id":5,"method":"GetParameterValues","params":{"ParameterNames":["."]}})";
  const std::string one_value =
      R"({"jsonrpc":"2.0","id":6,"method":"GetParameterValues","params":{"ParameterNames":["Device.Serial"]}})";
  std::string long_request =
      R"({"jsonrpc":"2.0","id":7,"method":"GetParameterValues","params":{"ParameterNames":[)";
  for (int i = 0; i < 10; ++i) long_request += R"("Device.Serial","Device.Name",)";
  long_request += R"("Device.Level"]}})";
  const size_t n = long_request.size();
  const struct {
    ServerConfig config;
    const std::string& request;
    const char* id;
    std::string detail;  // the end of the 9004 error's detail; "" when the reply goes out
  } cases[] = {
      {{.max_reply = 400}, all_values, "5", "bytes, more than the 400 bytes a reply may take"},
      {{.memory_budget = 400}, all_values, "5", "bytes, more than the 400 bytes a reply may take"},
      {{.max_reply = 400}, one_value, "6", ""},
      {{.max_request = n - 1}, long_request, "null",
       "the request is longer than the " + std::to_string(n - 1) + " bytes a request may take"},
      {{.max_request = n}, long_request, "7", ""},
  };
  for (const auto& c : cases) {
    RunningServer server(c.config);
    TestClient client(server.socket_path);
    client.request(c.request);
    k::Json reply = client.message();
    EXPECT_EQ(dump(member(reply, "id")), c.id) << c.request;
    std::string got = member(reply, "result") ? "" : dump(member(reply, "error.code")) + " " +
                                                      k::json_text(member(reply, "error"), "detail");
    EXPECT_TRUE(got.starts_with(c.detail.empty() ? "" : "9004 ") && got.ends_with(c.detail)) << got;
    expect_nothing_queued(client);
  }
}

TEST(Server, OnASpentBudgetTheStalledClientHoldingTheMostIsDroppedAndTheOthersAreServed) {
  // Both lines fit a request; together they pass the budget, and neither grows any more. The
  // first holds more than 1 MiB - 400 KiB, so it goes, and the second is still served.
  RunningServer server({.memory_budget = 1 << 20, .stall_ms = 100});
  TestClient polite(server.socket_path), big(server.socket_path), small(server.socket_path);
  std::thread writer([&] {  // the first send fails midway once its client is dropped
    big.send(std::string(900 << 10, 'x'));
    small.send(std::string(400 << 10, 'x'));
  });
  expect_nothing_queued(polite);
  writer.join();
  EXPECT_TRUE(big.closed_by_server());
  small.send("\n");  // its line goes on, ends, and is answered
  EXPECT_EQ(json_integer_value(member(small.message(), "error.code")), -32700);
  expect_nothing_queued(polite);
  server.stop();
  EXPECT_EQ(server.server->stats().dropped_over_budget, 1u);
}

TEST(Server, AClientThatDoesNotReadIsNotReadEitherAndGetsEveryReplyOnceItDoes) {
  RunningServer server;
  TestClient greedy(server.socket_path), polite(server.socket_path);
  constexpr int kRequests = 10000;  // replies of about 1 KiB each: 10 MB
  std::string burst;
  for (int i = 0; i < kRequests; ++i)
    burst += R"({"jsonrpc":"2.0","id":)" + std::to_string(i) +
             R"(,"method":"GetParameterValues","params":{"ParameterNames":["."]}})" "\n";
  std::thread writer([&] { greedy.send(burst); });  // stalls until the replies are read
  expect_nothing_queued(polite);
  for (int i = 0; i < kRequests; ++i)
    ASSERT_EQ(dump(member(greedy.message(), "id")), std::to_string(i));
  writer.join();
  server.stop();
  // Its replies waited in its socket and in about 1 MiB of queue, beside one read of requests.
  EXPECT_EQ(server.server->stats().dropped_over_budget, 0u);
  EXPECT_LT(server.server->stats().peak_held, 2u << 20);
}

TEST(Server, OnASpentBudgetReadersWaitAndGetWholeRepliesAndOnlyAClientThatDoesNotReadIsDropped) {
  // Replies of about 600 KiB, two for each of six clients that read them slowly, on a budget of
  // 1 MiB: together they would hold several times the budget. The idle client asks for four and
  // reads none: once the readers are done, its own replies spend the budget and stall.
  constexpr size_t kBudget = 1 << 20;
  constexpr int kReaders = 6, kRequests = 2, kIdleRequests = 4;
  std::string names;
  for (int i = 0; i < 600; ++i) names += std::string(i ? "," : "") + "\".\"";
  auto request = [&](int id) {
    return R"({"jsonrpc":"2.0","id":)" + std::to_string(id) +
           R"(,"method":"GetParameterValues","params":{"ParameterNames":[)" + names + "]}}\n";
  };
  RunningServer server({.memory_budget = kBudget, .stall_ms = 1000});
  TestClient idle(server.socket_path);
  std::string idle_requests;
  for (int id = 0; id < kIdleRequests; ++id) idle_requests += request(id);
  idle.send(idle_requests);
  std::vector<std::string> results(kReaders * kRequests);  // each reply's ParameterList
  std::vector<std::thread> readers;
  for (int r = 0; r < kReaders; ++r) {
    readers.emplace_back([&, r] {
      TestClient reader(server.socket_path);
      reader.send(request(10 * r) + request(10 * r + 1));
      for (int i = 0; i < kRequests; ++i) {
        std::optional<std::string_view> line;  // read 16 KiB at a time, with a pause before each read
        while (!(line = reader.reader.next_line()) && (::usleep(1000), reader.fill(16 << 10))) {}
        k::Json reply = k::json_parse(line.value_or("{}"));
        if (dump(member(reply, "id")) == std::to_string(10 * r + i))
          results[r * kRequests + i] = dump(member(reply, "result.ParameterList"));
      }
    });
  }
  for (auto& t : readers) t.join();
  for (const auto& result : results) {
    EXPECT_GT(result.size(), 500u << 10);
    EXPECT_EQ(result, results[0]);  // whole, and the same for everybody
  }
  EXPECT_TRUE(idle.closed_by_server());
  server.stop();
  EXPECT_EQ(server.server->stats().dropped_over_budget, 1u);
  // A reply taken up below the budget passes it by its own size at most.
  EXPECT_LT(server.server->stats().peak_held, kBudget + (700u << 10));
}

TEST(Server, RequestsThatAloneSpendTheBudgetAreStillReadAndAnswered) {
  // Two requests of 40 KiB, each sent in two parts, on a budget of 64 KiB: once both first parts
  // are in, the budget is spent with nothing to write, and only reading and answering go on.
  RunningServer server({.memory_budget = 64 << 10, .stall_ms = 3600000});
  const std::string padded = R"({"jsonrpc":"2.0","id":99,)" + std::string(40 << 10, ' ') +
                             std::string(kNamesRequest).substr(1) + "\n";
  const size_t half = 39 << 10;
  TestClient a(server.socket_path), b(server.socket_path), c(server.socket_path);
  a.send(padded.substr(0, half));
  b.send(padded.substr(0, half));
  expect_nothing_queued(c);
  a.send(padded.substr(half));
  b.send(padded.substr(half));
  EXPECT_EQ(dump(member(a.message(), "id")), "99");
  EXPECT_EQ(dump(member(b.message(), "id")), "99");
  server.stop();
  EXPECT_EQ(server.server->stats().dropped_over_budget, 0u);
}

// A Reboot as clients see it: what is finished first, the dropped connections, the pause
// without a socket, and the device coming back in the mode asked for.

// Every connection may use the device-wide methods, as a user with system access could.
void grant(Caller& caller) { caller.system_access = true; }

// The ids of the replies a client gets until the server closes the connection (events are
// passed over), each followed by a blank.
std::string ids_until_closed(TestClient& c) {
  std::string ids;
  while (k::Json m = c.message())
    if (json_t* id = member(m, "id")) ids += dump(id) + " ";
  EXPECT_TRUE(c.closed) << "the connection was not closed";
  return ids;
}

TEST(ServerReboot, AfterThePauseTheDeviceComesUpInTheModeAskedForWithoutUnsavedChanges) {
  RunningServer server({.reboot_ms = 0, .on_connect = grant}, test::device_with_mode());
  TestClient client(server.socket_path);
  client.send(request(1, "SetParameterValues", R"({"ParameterList":[{"Name":"Device.Name","Value":"lost"}]})") + "\n" +
              request(2, "Reboot", R"({"DeviceMode":"Bridge"})") + "\n");
  EXPECT_EQ(ids_until_closed(client), "1 2 ");
  std::unique_ptr<TestClient> again;
  for (int tries = 0; tries < 2000 && !(again && again->fd); ++tries) {
    if (again) ::usleep(10000);
    again = std::make_unique<TestClient>(server.socket_path);
  }
  ASSERT_TRUE(again->fd) << "not served again";
  again->request(request(3, "GetParameterValues", R"({"ParameterNames":["Device.Name","Device.DeviceInfo.DeviceMode"]})"));
  EXPECT_EQ(dump(member(again->message(), "result")),
            R"({"ParameterList":[{"Name":"Device.Name","Value":"box"},{"Name":"Device.DeviceInfo.DeviceMode","Value":"Bridge"}]})");
}

TEST(ServerReboot, WithoutForceWorkAlreadyReceivedIsFinishedFirstWithForceOnlyTheReplyLeavesThenEveryConnectionGoes) {
  for (bool force : {false, true}) {
    // Replies wait an hour, so the ones still held back show what a reboot does with them.
    RunningServer server({.delay_ms = 3600000, .reboot_ms = 3600000, .on_connect = grant});
    TestClient asker(server.socket_path), other(server.socket_path);
    // The change events are not held back: each tells that the requests before it were run.
    asker.send(request(1, "JoinGroup", R"({"Group":4})") + "\n" +
               request(2, "AddObject", R"({"ObjectName":"Device.Rule."})") + "\n");
    ASSERT_EQ(dump(member(asker.message(), "params.Data.InstanceNumber")), "4");
    other.send(request(3, "GetParameterNames", R"({"ParameterPath":"Device.Rule."})") + "\n" +
               request(4, "AddObject", R"({"ObjectName":"Device.Rule."})") + "\n");
    ASSERT_EQ(dump(member(asker.message(), "params.Data.InstanceNumber")), "5");
    // One write: the line after the Reboot arrives with it.
    asker.send(request(5, "Reboot", force ? R"({"Force":true})" : "{}") + "\n" +
               request(6, "GetParameterNames", R"({"ParameterPath":"Device.Rule."})") + "\n");
    EXPECT_EQ(ids_until_closed(asker), force ? "5 " : "1 2 5 6 ") << force;
    EXPECT_EQ(ids_until_closed(other), force ? "" : "3 4 ") << force;
    // While down there is no socket to connect to.
    int err = 0;
    EXPECT_FALSE(k::unix_connect(server.socket_path, err));
    EXPECT_TRUE(err == k::kSockNoEntry && !std::filesystem::exists(server.socket_path));
  }
}

// Logging in and out over the daemon's socket: what each method answers and who the connection
// is afterwards.

// The name of the system user the tests run as.
std::string own_name() {
  passwd* p = ::getpwuid(::geteuid());
  return p ? p->pw_name : "";
}

// `openssl passwd -6 -salt testsalt1 secret`; the digests are SHA-256 of "tok-admin", "tok-off".
Accounts test_accounts() {
  std::string section = R"({"guest": {"Device.Serial": "r", "Device.CurrentUser": "r"}, "users": {
    "admin": {"passwordHash": "$6$testsalt1$JkeJddrQoqmQ5RwUPjpMuSlpzGy8Tt0jTbPww9/ABmTGbGNMEYBlLH1ZQ.gT2ATKCwvZphEsKiaqNLl9fEIMD0",
      "tokenDigests": ["df6adb0b23fa33235f4aee6a0d62c118b00d71c07c81be87067b4f5892e66dbc"],
      "systemAccess": true, "rights": {".": "rwadx"}},
    "off": {"passwordHash": "$6$testsalt1$JkeJddrQoqmQ5RwUPjpMuSlpzGy8Tt0jTbPww9/ABmTGbGNMEYBlLH1ZQ.gT2ATKCwvZphEsKiaqNLl9fEIMD0",
      "tokenDigests": ["fe59d8a132d7c03355a3872d2ba6097cc9ebae0845713ec89df7ef5da0ee9fa3"],
      "enabled": false, "rights": {".": "r"}}}})";
  Accounts a;
  std::string error;
  EXPECT_TRUE(parse_accounts(k::json_parse(section).get(), a, error)) << error;
  return a;
}

// Sends a request (params: JSON text, or none) and gives the reply's result or error as JSON.
std::string call(TestClient& c, const char* method, const char* params) {
  static int id = 0;
  std::string request = R"({"jsonrpc":"2.0","id":)" + std::to_string(++id) + R"(,"method":")" +
                        method + '"' + (params ? std::string(R"(,"params":)") + params : "") + "}";
  c.request(request);
  k::Json reply = c.message();
  json_t* part = member(reply, "result") ? member(reply, "result") : member(reply, "error");
  return part ? k::json_dump(part, JSON_COMPACT) : "none";
}

// Who the connection is: the value of Device.CurrentUser, or the error reading it.
std::string who(TestClient& c) {
  std::string r = call(c, "GetParameterValues", R"({"ParameterNames":["Device.CurrentUser"]})");
  k::Json v = k::json_parse(r);
  json_t* list = json_object_get(v.get(), "ParameterList");
  return list ? k::json_text(json_array_get(list, 0), "Value") : r;
}

constexpr const char* kGuest = R"({"code":9001,"message":"Request denied","detail":"nobody is logged in"})";
constexpr const char* kLoginRefused = R"({"code":9001,"message":"Request denied","detail":"login refused"})";
constexpr const char* kTokenRefused = R"({"code":9001,"message":"Request denied","detail":"token refused"})";
constexpr const char* kAdmin = R"({"Status":0,"User":"admin"})";

TEST(Authentication, LoginAuthenticateAndLogoutChangeWhoTheConnectionIs) {
  RunningServer server({}, test_accounts());
  TestClient c(server.socket_path);
  const struct {
    const char* method;
    const char* params;  // none: no params member
    const char* reply;
    const char* then;    // who the connection is afterwards: a user name, or kGuest
  } steps[] = {
      {"Login", R"({"Username":"admin","Password":"secret"})", kAdmin, "admin"},
      {"Logout", nullptr, R"({"Status":0})", kGuest},
      {"Login", R"({"Username":"admin","Password":"secret"})", kAdmin, "admin"},
      // Any refusal leaves a guest behind, whatever the reason.
      {"Login", R"({"Username":"admin","Password":"Secret"})", kLoginRefused, kGuest},
      {"Login", R"({"Username":"off","Password":"secret"})", kLoginRefused, kGuest},
      {"Authenticate", R"({"Token":"tok-admin"})", kAdmin, "admin"},
      {"Authenticate", R"({"Token":"tok-off"})", kTokenRefused, kGuest},
      {"Authenticate", R"({"Token":"df6adb0b23fa33235f4aee6a0d62c118b00d71c07c81be87067b4f5892e66dbc"})",
       kTokenRefused, kGuest},
      {"Authenticate", R"({"Token":"tok-admin"})", kAdmin, "admin"},
      {"Authenticate", R"({"Token":""})", R"({"Status":0})", kGuest},
      // Params of the wrong shape: refused, and the connection is a guest all the same.
      {"Login", R"({"Username":"admin","Password":"secret"})", kAdmin, "admin"},
      {"Login", R"({"Username":5})",
       R"x({"code":-32602,"message":"Invalid params","detail":"expects Username (text) and an optional Password (text)"})x",
       kGuest},
      {"Authenticate", "{}", R"x({"code":-32602,"message":"Invalid params","detail":"expects Token (text)"})x", kGuest},
  };
  for (const auto& s : steps) {
    EXPECT_EQ(call(c, s.method, s.params), s.reply) << s.method << " " << (s.params ? s.params : "");
    EXPECT_EQ(who(c), s.then) << s.method << " " << (s.params ? s.params : "");
  }
}

TEST(Authentication, EachConnectionHasItsOwnUserAndRights) {
  RunningServer server({}, test_accounts());
  TestClient admin(server.socket_path), guest(server.socket_path);
  ASSERT_EQ(call(admin, "Login", R"({"Username":"admin","Password":"secret"})"), kAdmin);
  const char* read = R"({"ParameterNames":["Device.Serial","Device.Level","Device.SystemAccess"],"IgnoreAccessError":true})";
  EXPECT_EQ(call(admin, "GetParameterValues", read),
            R"({"ParameterList":[{"Name":"Device.Serial","Value":"S1"},{"Name":"Device.Level","Value":5},)"
            R"({"Name":"Device.SystemAccess","Value":true}]})");
  EXPECT_EQ(call(guest, "GetParameterValues", read),
            R"({"ParameterList":[{"Name":"Device.Serial","Value":"S1"}]})");
  EXPECT_EQ(call(guest, "AddObject", R"({"ObjectName":"Device.Host."})"),
            R"({"code":9001,"message":"Request denied","detail":"Device.Host.: no right to add instances"})");
  EXPECT_EQ(who(guest), kGuest);
  EXPECT_EQ(who(admin), "admin");
}

// Without a password, the peer takes its own account (run through velc), and root any account.
TEST(Authentication, PeerCredentialsDecideThePasswordlessLoginAndATcpPeerHasNone) {
  uid_t me = ::geteuid();
  EXPECT_FALSE(peer_may_log_in_as({false, me}, own_name()));  // the kernel told nothing
  EXPECT_TRUE(peer_may_log_in_as({true, 0}, "anybody"));
  EXPECT_EQ(peer_may_log_in_as({true, me}, own_name() + "x"), me == 0);
  // The kernel would report the overflow user for a TCP peer: it must count as nobody known.
  std::string error;
  uint16_t port = 0;
  k::Fd listener = k::tcp_listen({"127.0.0.1", 0}, port, error);
  ASSERT_TRUE(listener) << error;
  int err = 0;
  k::Fd client = k::tcp_connect({"127.0.0.1", port}, 5000, err);
  ASSERT_TRUE(client) << err;
  pollfd p{listener.get(), POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 5000), 1);
  k::Fd accepted(::accept(listener.get(), nullptr, nullptr));
  ASSERT_TRUE(accepted);
  EXPECT_FALSE(peer_credentials(accepted.get()).known);
}

// Download as clients see it: what each channel says when it fails, configuration downloads,
// and what the server decides around a firmware upgrade.

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "(none)";
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// A daemon on the test device with a state folder and a downloads folder of its own, and
// a connection with system access.
struct Device {
  explicit Device(int flash_ms = 3600000, std::function<void(Caller&)> on_connect = grant)
      : server({.reboot_ms = 0,
                .on_connect = std::move(on_connect),
                .download = {.download_dir = dir.file("downloads"), .flash_ms = flash_ms}},
               test::device_with_mode(dir.file("state"))),
        client(server.socket_path) {}
  // Sends a request and gives its reply (events passed over).
  k::Json call(const std::string& method, const std::string& params, TestClient* on = nullptr) {
    TestClient& c = on ? *on : client;
    int id = ++last_id;
    c.request(R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"method":")" + method +
              R"(","params":)" + params + "}");
    while (k::Json m = c.message())
      if (json_t* got = member(m, "id"); got && json_integer_value(got) == id) return m;
    return {};
  }
  // A Download's reply in brief: the result, or the error code and detail.
  std::string download(const std::string& params) {
    k::Json m = call("Download", params);
    if (json_t* e = member(m, "error"))
      return dump(json_object_get(e, "code")) + " " + k::json_text(e, "detail");
    return dump(member(m, "result"));
  }
  // Values of parameters, as "Name=value ...".
  std::string values(const std::string& names, TestClient* on = nullptr) {
    k::Json m = call("GetParameterValues", R"({"ParameterNames":[)" + names + "]}", on);
    std::string out;
    size_t i;
    json_t* e;
    json_array_foreach(member(m, "result.ParameterList"), i, e)
      out += (out.empty() ? "" : " ") + k::json_text(e, "Name") + "=" + dump(json_object_get(e, "Value"));
    return out;
  }
  k::test::TempDir dir;
  RunningServer server;
  TestClient client;
  int last_id = 0;
};

// What each channel stores is run by velc's download tests; here how each one fails.
TEST(ServerDownload, EveryChannelSaysWhyItStoredNothing) {
  const std::string body = "0123456789";
  OneShotPeer short_sender(sends("012")), http(http_answers(404, "gone"));
  const std::string netcat = "netcat://127.0.0.1:" + std::to_string(short_sender.port);
  const std::string http_url = "http://127.0.0.1:" + std::to_string(http.port) + "/files/h.bin";
  Device d;
  write_file(d.dir.file("source.bin"), body);
  const struct {
    std::string params;
    std::string reply;
  } cases[] = {
      {"file://" + d.dir.file("source.bin") + R"(","MD5":")" + md5_hex("x") + "\"",
       "9018 MD5 mismatch: expected " + md5_hex("x") + ", the file has " + md5_hex(body)},
      {netcat + R"(","FileSize":10,"TargetFileName":"n.bin")",
       "9017 the sender at 127.0.0.1:" + std::to_string(short_sender.port) + " sent 3 of 10 bytes"},
      {http_url + "\"", "9016 " + http_url + ": The requested URL returned error: 404"},
      // Refused before anything is fetched.
      {R"(netcat://127.0.0.1:9")", "-32602 a netcat URL needs FileSize (integer)"},
      {R"(file:///tmp/x","TargetFileName":"../x")",
       "9007 cannot store a file named \"../x\" (expects 1 to 255 bytes without \"/\" or \"..\")"},
      {R"(file:///nonexistent/x")", "9016 cannot open /nonexistent/x: No such file or directory"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(d.download(R"({"FileType":"File","URL":")" + c.params + "}"), c.reply) << c.params;
  EXPECT_TRUE(!std::filesystem::exists(d.dir.file("downloads")) || std::filesystem::is_empty(d.dir.file("downloads")));
}

TEST(ServerDownload, OnlyAUserWithSystemAccessDownloads) {
  Device d(3600000, [](Caller&) {});  // guests, who may do everything but device actions
  for (const char* type : {"Firmware", "Config", "File"})
    EXPECT_EQ(d.download(std::string(R"({"FileType":")") + type + R"(","URL":"file:///etc/hostname"})"),
              "9001 Download needs a user with system access")
        << type;
}

TEST(ServerDownload, AConfigurationIsAppliedWholeOrNotAtAllAndAnnouncesTheInstancesThatWentAndCame) {
  const char* kUnchanged = R"(Device.Name="box" Device.Rule.3.Port=443 Device.Rule.1.Port=22 Device.Rule.2.Port=80 )"
                           R"(Device.Rule.max_instance=3 Device.Rule.order=[3,1,2])";
  const struct {
    const char* file;
    const char* reply;
    const char* values;
  } cases[] = {
      {R"({"Version":1,"Configuration":{"Device":{"Name":"cfg","Rule":{"4":{"Port":80}}}}})",
       R"({"Status":0})", R"(Device.Name="cfg" Device.Rule.4.Port=80 Device.Rule.max_instance=4 Device.Rule.order=[4])"},
      {R"({"Version":1,"Configuration":{"Device":{"Name":"cfg","Rule":{"2":{"Port":"x"}}}}})",
       "9018 the configuration does not apply: Device.Rule.2.Port: bad value: expects an integer",
       kUnchanged},
      {"not json", "9018 the configuration is not a JSON object", kUnchanged},
  };
  for (const auto& c : cases) {
    Device d;
    TestClient watcher(d.server.socket_path);
    d.call("JoinGroup", R"({"Group":4})", &watcher);
    write_file(d.dir.file("config.json"), c.file);
    EXPECT_EQ(d.download(R"({"FileType":"Config","URL":"file://)" + d.dir.file("config.json") + "\"}"), c.reply)
        << c.file;
    EXPECT_EQ(d.values(R"("Device.Name","Device.Rule.")"), c.values) << c.file;
    if (c.values == kUnchanged) continue;
    std::string events;  // each event's action, path and instance number
    for (int i = 0; i < 4; ++i) {
      k::Json event = watcher.message();
      events += k::json_text(member(event, "params.Data"), "Action") + " " + k::json_text(member(event, "params.Data"), "Path") +
                dump(member(event, "params.Data.InstanceNumber")) + " ";
    }
    EXPECT_EQ(events, "Delete Device.Rule.3.3 Delete Device.Rule.1.1 Delete Device.Rule.2.2 Add Device.Rule.4 ");
  }
}

TEST(ServerDownload, OtherClientsAreServedWhileAFetchWaits) {
  Device d;
  std::promise<void> go;
  std::shared_future<void> released = go.get_future().share();
  OneShotPeer peer([released](int fd) {
    released.wait();
    k::write_all(fd, "abc", 3);
  });
  d.client.request(R"({"jsonrpc":"2.0","id":1,"method":"Download","params":{"FileType":"File","URL":"netcat://127.0.0.1:)" +
                   std::to_string(peer.port) + R"(","FileSize":3,"TargetFileName":"slow"}})");
  TestClient other(d.server.socket_path);
  EXPECT_EQ(d.values(R"("Device.Name")", &other), R"(Device.Name="box")");
  go.set_value();
  EXPECT_EQ(dump(d.client.message().get()),
            R"({"jsonrpc":"2.0","id":1,"result":{"Status":0,"FileName":"slow"}})");
  EXPECT_EQ(read_file(d.dir.file("downloads/slow")), "abc");
}

// The firmware dialogue itself is run by the upgrade tests and by velc's.
TEST(ServerDownload, ABadImageFailsTheUpgradeAndWhileAFlashRunsNothingElseIsDownloaded) {
  Device d;  // a flash of an hour: it is still running at the end
  const std::string firmware = R"({"FileType":"Firmware","URL":"file://)" + d.dir.file("fw.img") + "\"}";
  write_file(d.dir.file("fw.img"), "KNFW but not an image");
  EXPECT_EQ(d.download(firmware), "9018 truncated firmware header");
  EXPECT_EQ(d.values(R"("Device.DeviceInfo.UpgradeStatus")"), "Device.DeviceInfo.UpgradeStatus=-1");
  write_file(d.dir.file("fw.img"), make_firmware_image("1.0.0", "p"));  // the same version flashes at once
  EXPECT_EQ(d.download(firmware).rfind(R"({"Status":0,"CurrentVersion":"1.0.0","NewVersion":"1.0.0",)", 0), 0u);
  EXPECT_EQ(d.download(R"({"FileType":"File","URL":"file:///etc/hostname"})"), "9001 a firmware upgrade is in progress");
}

// The veld-sim program itself: command line, readiness line, signals. Runs the built binary from
// $VELC_BIN and is skipped without it.

std::string program() {
  const char* bin = std::getenv("VELC_BIN");
  return bin ? std::string(bin) + "/veld-sim" : std::string();
}

// Runs veld-sim with these words (standard error joined to the output) until it exits.
struct Outcome {
  int status = -1;  // exit status; -1 when it did not exit
  std::string out;
};
Outcome run_program(const std::string& words) {
  FILE* f = ::popen((program() + " " + words + " 2>&1").c_str(), "r");
  Outcome o;
  for (int ch; (ch = std::fgetc(f)) != EOF;) o.out.push_back(static_cast<char>(ch));
  int status = ::pclose(f);
  o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return o;
}

class Program : public ::testing::Test {
 protected:
  void SetUp() override {
    if (program().empty() || !std::filesystem::exists(program()))
      GTEST_SKIP() << "VELC_BIN does not hold veld-sim";
  }
};

TEST_F(Program, CommandLines) {
  const struct {
    const char* words;
    int status;
    const char* output;  // its beginning
  } cases[] = {
      {"--help", 0, "Usage: veld-sim --socket PATH [--model FILE]"},
      {"", 2, "veld-sim: --socket PATH is required\n\nUsage: veld-sim"},
      {"--socket=", 2, "veld-sim: --socket needs a value\n"},
      {"--socket /nowhere/s --bogus", 2, "veld-sim: unknown option: --bogus\n\nUsage: veld-sim"},
      {"--socket=/nowhere/s --delay 5ms", 2, "veld-sim: --delay expects milliseconds from 0 to 3600000\n"},
      {"--socket=/nowhere/s --delay 3600001", 2, "veld-sim: --delay expects"},
      {"--socket=/nowhere/s --memory-budget 0", 2, "veld-sim: --memory-budget expects mebibytes from 1 to 65536\n"},
      // Accepted (the largest values), then the model is missing.
      {"--socket /nowhere/s --hosts=200000 --delay 3600000 --memory-budget 65536 --max-request 1024 "
       "--reboot-time 3600000 --state /nowhere/state --flash-time 3600000 --fetch-timeout 3600000 "
       "--download-dir /nowhere/dl --model /nowhere/none.json", 1,
       "veld-sim: /nowhere/none.json:"},
      {"--socket /nowhere/s", 1, "veld-sim: cannot listen on /nowhere/s: "},
      {"--socket=/nowhere/s --tcp=127.0.0.1:65536", 2, "veld-sim: --tcp expects HOST:PORT"},
      {"--socket=/nowhere/s --tls-cert c.pem", 2, "veld-sim: --tls-cert and --tls-key go together\n"},
      {"--socket=/nowhere/s --tls-cert c.pem --tls-key k.pem", 2,
       "veld-sim: --tls-cert and --tls-key need --tcp\n"},
      // Accepted; then the certificate cannot be read, before any socket is made.
      {"--socket /nowhere/s --tcp 127.0.0.1:0 --tls-cert /nowhere/c.pem --tls-key /nowhere/k.pem",
       1, "veld-sim: cannot load certificate /nowhere/c.pem: "},
  };
  for (const auto& c : cases) {
    Outcome o = run_program(c.words);
    EXPECT_EQ(o.status, c.status) << c.words;
    EXPECT_EQ(o.out.rfind(c.output, 0), 0u) << c.words << "\n" << o.out;
  }
}

TEST_F(Program, AnUnreadableSavedConfigurationStopsTheStartWithOneLineNamingIt) {
  k::test::TempDir dir;
  std::filesystem::create_directory(dir.file("state"));
  { std::ofstream(dir.file("state/config.json")) << R"({"Version":1,"Configuration":{"Device":{"DeviceInfo":{"DeviceMode":"Gateway"}}}})"; }
  Outcome o = run_program("--socket " + dir.file("s") + " --state " + dir.file("state/"));
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, "veld-sim: " + dir.file("state/config.json") +
                     ": Device.DeviceInfo.DeviceMode: bad value: not one of the enumerated values\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("s")));
}

TEST_F(Program, AnnouncesReadinessServesAndCleansUpOnSignals) {
  for (int sig : {SIGTERM, SIGINT}) {
    k::test::TempDir dir;
    std::string socket = dir.file("veld.sock");
    // The shell prints its process id, which veld-sim takes over.
    std::string command = "echo $$; exec " + program() + " --socket " + socket;
    FILE* f = ::popen(command.c_str(), "r");
    char pid[32], ready[256];
    ASSERT_TRUE(std::fgets(pid, sizeof pid, f) && std::fgets(ready, sizeof ready, f));
    EXPECT_EQ(std::string(ready), "veld-sim: ready on " + socket + "\n");
    // What it serves is run by velc's end-to-end tests.
    EXPECT_TRUE(test::TestClient(socket).fd) << "not served";
    ::kill(std::atoi(pid), sig);
    EXPECT_EQ(::pclose(f), 0) << "exits with status 0";
    EXPECT_FALSE(std::filesystem::exists(socket));
  }
}

}  // namespace
}  // namespace sim
