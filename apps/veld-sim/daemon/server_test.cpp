// The server: malformed input, budgets, reboot.
#include "daemon/test_server.h"

namespace sim {
namespace {

using namespace test;

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
  const std::string all_values = request(5, "GetParameterValues", R"({"ParameterNames":["."]})");  // about 1 KiB
  const std::string one_value = request(6, "GetParameterValues", R"({"ParameterNames":["Device.Serial"]})");
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
  for (int i = 0; i < kRequests; ++i) burst += request(i, "GetParameterValues", R"({"ParameterNames":["."]})") + "\n";
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
  constexpr int kReaders = 6, kRequests = 2;
  std::string names = R"({"ParameterNames":["." )";
  for (int i = 1; i < 600; ++i) names += R"(,".")";
  auto values = [&](int id) { return request(id, "GetParameterValues", (names + "]}").c_str()) + "\n"; };
  RunningServer server({.memory_budget = kBudget, .stall_ms = 1000});
  TestClient idle(server.socket_path);
  idle.send(values(0) + values(1) + values(2) + values(3));
  std::vector<std::string> results(kReaders * kRequests);  // each reply's ParameterList
  std::vector<std::thread> readers;
  for (int r = 0; r < kReaders; ++r) {
    readers.emplace_back([&, r] {
      TestClient reader(server.socket_path);
      reader.send(values(10 * r) + values(10 * r + 1));
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
  for (TestClient* t : {&a, &b}) t->send(padded.substr(0, half));
  expect_nothing_queued(c);
  for (TestClient* t : {&a, &b}) t->send(padded.substr(half));
  for (TestClient* t : {&a, &b}) EXPECT_EQ(dump(member(t->message(), "id")), "99");
  server.stop();
  EXPECT_EQ(server.server->stats().dropped_over_budget, 0u);
}

// A Reboot as clients see it: what is finished first, the dropped connections, the pause
// without a socket, and the device coming back in the mode asked for.

// The ids of the replies a client gets until the server closes the connection (events are
// passed over), each followed by a blank.
std::string ids_until_closed(TestClient& c) {
  std::string ids;
  while (k::Json m = c.message())
    if (json_t* id = member(m, "id")) ids += dump(id) + " ";
  EXPECT_TRUE(c.closed) << "the connection was not closed";
  return ids;
}

TEST(ServerReboot, AfterThePauseTheDeviceComesUpInTheModeAskedFor) {
  RunningServer server({.reboot_ms = 0, .on_connect = grant}, test::device_with_mode());
  TestClient client(server.socket_path);
  client.request(request(2, "Reboot", R"({"DeviceMode":"Bridge"})"));
  EXPECT_EQ(ids_until_closed(client), "2 ");  // unsaved changes going is run by velc's tests
  std::unique_ptr<TestClient> again;
  for (int tries = 0; tries < 2000 && !(again && again->fd); ++tries) {
    if (again) ::usleep(10000);
    again = std::make_unique<TestClient>(server.socket_path);
  }
  ASSERT_TRUE(again->fd) << "not served again";
  again->request(request(3, "GetParameterValues", R"({"ParameterNames":["Device.DeviceInfo.DeviceMode"]})"));
  EXPECT_EQ(dump(member(again->message(), "result")), R"({"ParameterList":[{"Name":"Device.DeviceInfo.DeviceMode","Value":"Bridge"}]})");
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

}  // namespace
}  // namespace sim
