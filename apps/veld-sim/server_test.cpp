#include "server.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "test_client.h"

namespace sim {
namespace {

using test::member;
using test::RunningServer;
using test::TestClient;

std::string dump(json_t* v) { return v ? k::json_dump(v, JSON_COMPACT | JSON_ENCODE_ANY) : "none"; }
constexpr const char* kNamesRequest = R"({"jsonrpc":"2.0","id":99,"method":"GetParameterNames","params":{"ParameterPath":"Device.Host.","NextLevel":true}})";

// Sends kNamesRequest and expects its reply next: nothing else was queued for the client.
void expect_nothing_queued(TestClient& c) {
  c.request(kNamesRequest);
  EXPECT_EQ(dump(member(c.message(), "id")), "99");
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
      {R"({"jsonrpc":"2.0","id":6,"method":7})", -32600, "6"},
      {R"({"jsonrpc":"2.0","id":{"a":1},"method":"GetParameterNames"})", -32600, "null"},
      {R"({ "jsonrpc" : "2.0", "id" : 7, "method" : "Nope" })", -32601, "7"},
      {R"({"jsonrpc":"2.0","id":8,"method":"GetParameterValues","params":[1]})", -32602, "8"},
      {R"({"jsonrpc":"2.0","id":11,"method":"GetParameterAttributes","params":{"ParameterNames":["."],"Depth":2}})", -32602, "11"},
      {R"({"jsonrpc":"2.0","id":12,"method":"JoinGroup","params":{"Group":-1}})", -32602, "12"},
      {R"({"jsonrpc":"2.0","id":13,"method":"Event","params":{"EventId":"x"}})", -32602, "13"},
      {R"({"jsonrpc":"2.0","id":14,"method":"SetParameterValues","params":{"ParameterList":[{"Name":"Device.Name"}]}})", -32602, "14"},
      {R"({"jsonrpc":"2.0","id":"s","method":"GetParameterNames","params":{"ParameterPath":"Device.Nope."}})", 9005, "\"s\""},
      {R"({"jsonrpc":"2.0","id":15,"method":"GetParameterValues","params":{"ParameterNames":["Device.Na\u0000me"]}})", -32700, "null"},
  };
  k::test::TempDir dir;
  RunningServer server({.request_log = dir.file("requests.log")});
  TestClient client(server.socket_path);
  std::string sent;  // every line but the blank ones, as the log keeps them
  for (const auto& c : cases) sent += std::string(c.line) + "\n";
  // Ignored: notifications and replies; tolerated: CR before LF.
  sent += R"({"jsonrpc":"2.0","method":"GetParameterNames","params":{"ParameterPath":"."}})" "\n";
  sent += R"({"jsonrpc":"2.0","id":77,"result":{}})" "\n";
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

TEST(Server, EventsReachTheSessionsThatJoinedTheirGroup) {
  RunningServer server;
  TestClient watcher(server.socket_path), bystander(server.socket_path),
      receiver(server.socket_path), worker(server.socket_path), sender(server.socket_path);
  const std::pair<TestClient*, const char*> joins[] = {
      {&watcher, R"("Group":4)"}, {&bystander, R"("Group":7)"}, {&sender, R"("Group":7)"},
      // One client process: its events come on the receiving connection.
      {&receiver, R"("Group":9,"Session":"p1","Receiver":true)"},
      {&worker, R"("Group":4,"Session":"p1")"}};
  // All requests are sent before any reply is read: each reply must come on its own connection.
  for (int id = 0; id < 5; ++id)
    joins[id].first->request(R"({"jsonrpc":"2.0","id":)" + std::to_string(id) +
                             R"(,"method":"JoinGroup","params":{)" + joins[id].second + "}}");
  for (int id = 0; id < 5; ++id)
    EXPECT_EQ(dump(joins[id].first->message().get()), R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"result":{"Status":0}})");

  worker.request(R"({"jsonrpc":"2.0","id":2,"method":"DeleteObject","params":{"ObjectName":"Device.Host.3."}})");
  EXPECT_EQ(dump(member(worker.message(), "result")), R"({"Status":0})");
  const char* deleted =
      R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":4,"Data":{"Action":"Delete","Path":"Device.Host.3.","InstanceNumber":3}}})";
  EXPECT_EQ(dump(watcher.message().get()), deleted);
  EXPECT_EQ(dump(receiver.message().get()), deleted);

  // A client's event is relayed to the other sessions of its group.
  const char* hello = R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":7,"Data":{"Text":"hello"}}})";
  sender.request(hello);
  EXPECT_EQ(dump(bystander.message().get()), hello);
  for (TestClient* c : {&watcher, &bystander, &receiver, &worker, &sender})
    expect_nothing_queued(*c);
}

TEST(Server, DelayedRepliesDoNotHoldUpTheLoop) {
  // Replies wait an hour; the loop still reads requests, runs them and delivers events.
  RunningServer server({.delay_ms = 3600000});
  TestClient watcher(server.socket_path), changer(server.socket_path);
  // The join was sent first on the connection accepted first, so it is run first.
  watcher.request(R"({"jsonrpc":"2.0","id":1,"method":"JoinGroup","params":{"Group":4}})");
  changer.request(R"({"jsonrpc":"2.0","id":2,"method":"AddObject","params":{"ObjectName":"Device.Rule."}})");
  EXPECT_EQ(dump(member(watcher.message(), "params.EventId")), "4");
  server.stop();  // with replies still waiting
}

TEST(Server, HugeUnterminatedLineIsAnsweredOnceAndAHalfClosedClientStillGetsItsReplies) {
  RunningServer server;
  TestClient client(server.socket_path);
  std::thread writer([&] {
    for (int i = 0; i < 24; ++i) client.send(std::string(1 << 20, 'x'));
    client.send("\n" + std::string(kNamesRequest) + "\n");
    ::shutdown(client.fd.get(), SHUT_WR);
  });
  EXPECT_EQ(json_integer_value(member(client.message(), "error.code")), -32700);
  writer.join();
  EXPECT_EQ(dump(member(client.message(), "id")), "99");
  EXPECT_TRUE(client.closed_by_server());
}

TEST(Server, DropsAClientThatNeverReadsAndServesTheOthers) {
  RunningServer server({.max_output = 1 << 20});
  TestClient greedy(server.socket_path), polite(server.socket_path);
  std::string burst;
  for (int i = 0; i < 4000; ++i)
    burst += R"({"jsonrpc":"2.0","id":1,"method":"GetParameterValues","params":{"ParameterNames":["."]}})" "\n";
  std::thread writer([&] { greedy.send(burst); });  // fails midway once the server drops it
  expect_nothing_queued(polite);
  writer.join();
  EXPECT_TRUE(greedy.closed_by_server());
  expect_nothing_queued(polite);
}

}  // namespace
}  // namespace sim
