#include "server.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "test_client.h"

namespace sim {
namespace {

using test::member;
using test::RunningServer;
using test::TestClient;

std::string dump(json_t* v) { return v ? k::json_dump(v, JSON_COMPACT | JSON_ENCODE_ANY) : "none"; }

constexpr const char* kNamesRequest =
    R"({"jsonrpc":"2.0","id":99,"method":"GetParameterNames","params":{"ParameterPath":"Device.Host.","NextLevel":true}})";

struct BadLine {
  const char* line;
  int code;
  const char* id;  // the reply's id as JSON
};

TEST(Server, AnswersMalformedInputWithErrorsAndKeepsServing) {
  const BadLine cases[] = {
      {"garbage", -32700, "null"},
      {R"({"jsonrpc":"2.0","id":1,"method":)", -32700, "null"},
      {"[1,2]", -32600, "null"},
      {"42", -32600, "null"},
      {R"({"jsonrpc":"1.0","id":3,"method":"GetParameterNames"})", -32600, "3"},
      {R"({"id":4,"method":"GetParameterNames"})", -32600, "4"},
      {R"({"jsonrpc":"2.0","id":5})", -32600, "5"},
      {R"({"jsonrpc":"2.0","id":6,"method":7})", -32600, "6"},
      {R"({"jsonrpc":"2.0","id":{"a":1},"method":"GetParameterNames"})", -32600, "null"},
      {R"({"jsonrpc":"2.0","id":7,"method":"Nope"})", -32601, "7"},
      {R"({"jsonrpc":"2.0","id":8,"method":"GetParameterValues","params":[1]})", -32602, "8"},
      {R"({"jsonrpc":"2.0","id":9,"method":"GetParameterValues","params":{}})", -32602, "9"},
      {R"({"jsonrpc":"2.0","id":10,"method":"GetParameterValues","params":{"ParameterNames":[1]}})", -32602, "10"},
      {R"({"jsonrpc":"2.0","id":11,"method":"GetParameterAttributes","params":{"ParameterNames":["."],"Depth":2}})", -32602, "11"},
      {R"({"jsonrpc":"2.0","id":12,"method":"JoinGroup","params":{"Group":-1}})", -32602, "12"},
      {R"({"jsonrpc":"2.0","id":13,"method":"Event","params":{"EventId":"x"}})", -32602, "13"},
      {R"({"jsonrpc":"2.0","id":14,"method":"SetParameterValues","params":{"ParameterList":[{"Name":"Device.Name"}]}})", -32602, "14"},
      {R"({"jsonrpc":"2.0","id":"s","method":"GetParameterNames","params":{"ParameterPath":"Device.Nope."}})", 9005, "\"s\""},
      {R"({"jsonrpc":"2.0","id":15,"method":"GetParameterValues","params":{"ParameterNames":["Device.Na\u0000me"]}})", -32700, "null"},
  };
  RunningServer server;
  TestClient client(server.socket_path());
  ASSERT_TRUE(client.connected());
  std::string all;
  for (const auto& c : cases) all += std::string(c.line) + "\n";
  // Ignored: empty lines, notifications, replies; tolerated: CR before LF.
  all += "\n  \n";
  all += R"({"jsonrpc":"2.0","method":"GetParameterNames","params":{"ParameterPath":"."}})" "\n";
  all += R"({"jsonrpc":"2.0","id":77,"result":{}})" "\n";
  all += std::string(kNamesRequest) + "\r\n";
  ASSERT_TRUE(client.send(all));
  for (const auto& c : cases) {
    k::Json reply = client.message();
    ASSERT_TRUE(reply) << c.line;
    EXPECT_EQ(json_integer_value(member(reply, "error.code")), c.code) << c.line;
    EXPECT_EQ(dump(member(reply, "id")), c.id) << c.line;
    EXPECT_TRUE(json_is_string(member(reply, "error.message"))) << c.line;
  }
  k::Json last = client.message();
  EXPECT_EQ(dump(member(last, "id")), "99");
  EXPECT_TRUE(member(last, "result.ParameterList"));
}

TEST(Server, EveryClientGetsItsOwnReplies) {
  RunningServer server;
  std::vector<std::unique_ptr<TestClient>> clients;
  for (int i = 0; i < 24; ++i) {
    clients.push_back(std::make_unique<TestClient>(server.socket_path()));
    ASSERT_TRUE(clients.back()->connected());
  }
  for (int i = 0; i < 24; ++i) {
    std::string value = "n" + std::to_string(i);
    // Each sends a set and a read of its own id; replies must not cross connections.
    clients[i]->request(R"({"jsonrpc":"2.0","id":)" + std::to_string(1000 + i) +
                        R"(,"method":"GetParameterValues","params":{"ParameterNames":["Device.Level"]}})");
  }
  for (int i = 0; i < 24; ++i) {
    k::Json reply = clients[i]->message();
    EXPECT_EQ(json_integer_value(member(reply, "id")), 1000 + i);
    EXPECT_EQ(dump(member(reply, "result")),
              R"({"ParameterList":[{"Name":"Device.Level","Value":5}]})");
  }
}

TEST(Server, ChangeEventsReachJoinedSessionsOnly) {
  RunningServer server;
  TestClient joined(server.socket_path()), other_group(server.socket_path()),
      changer(server.socket_path());
  joined.request(R"({"jsonrpc":"2.0","id":1,"method":"JoinGroup","params":{"Group":4}})");
  other_group.request(R"({"jsonrpc":"2.0","id":1,"method":"JoinGroup","params":{"Group":7}})");
  EXPECT_TRUE(member(joined.message(), "result"));
  EXPECT_TRUE(member(other_group.message(), "result"));

  changer.request(R"({"jsonrpc":"2.0","id":2,"method":"AddObject","params":{"ObjectName":"Device.Host."}})");
  k::Json added = changer.message();
  EXPECT_EQ(dump(member(added, "result")), R"({"InstanceNumber":4,"Status":0})");

  k::Json event = joined.message();
  EXPECT_EQ(dump(event.get()),
            R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":4,"Data":{"Action":"Add","Path":"Device.Host.","InstanceNumber":4}}})");
  // Had an event been queued for the others, it would come before their next reply.
  other_group.request(kNamesRequest);
  EXPECT_EQ(dump(member(other_group.message(), "id")), "99");
  changer.request(kNamesRequest);
  EXPECT_EQ(dump(member(changer.message(), "id")), "99");
}

TEST(Server, SessionEventsArriveOnTheReceivingConnection) {
  RunningServer server;
  TestClient receiver(server.socket_path()), worker(server.socket_path());
  receiver.request(R"({"jsonrpc":"2.0","id":1,"method":"JoinGroup","params":{"Group":9,"Session":"p1","Receiver":true}})");
  worker.request(R"({"jsonrpc":"2.0","id":1,"method":"JoinGroup","params":{"Group":4,"Session":"p1"}})");
  receiver.message();
  worker.message();
  worker.request(R"({"jsonrpc":"2.0","id":2,"method":"DeleteObject","params":{"ObjectName":"Device.Host.3."}})");
  EXPECT_EQ(dump(member(worker.message(), "result")), R"({"Status":0})");
  k::Json event = receiver.message();
  EXPECT_EQ(dump(member(event, "params.Data")),
            R"({"Action":"Delete","Path":"Device.Host.3.","InstanceNumber":3})");
  worker.request(kNamesRequest);
  EXPECT_EQ(dump(member(worker.message(), "id")), "99");
}

TEST(Server, RelaysClientEventsToOtherSessionsOfTheGroup) {
  RunningServer server;
  TestClient sender(server.socket_path()), listener(server.socket_path()),
      bystander(server.socket_path());
  for (TestClient* c : {&sender, &listener}) {
    c->request(R"({"jsonrpc":"2.0","id":1,"method":"JoinGroup","params":{"Group":12}})");
    c->message();
  }
  bystander.request(R"({"jsonrpc":"2.0","id":1,"method":"JoinGroup","params":{"Group":13}})");
  bystander.message();
  sender.request(R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":12,"Data":{"Text":"hello"}}})");
  k::Json relayed = listener.message();
  EXPECT_EQ(dump(relayed.get()),
            R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":12,"Data":{"Text":"hello"}}})");
  for (TestClient* c : {&sender, &bystander}) {
    c->request(kNamesRequest);
    EXPECT_EQ(dump(member(c->message(), "id")), "99");
  }
}

TEST(Server, DelayedRepliesDoNotHoldUpTheLoop) {
  // Replies wait an hour; the loop still reads requests, runs them and delivers events.
  RunningServer server({.delay_ms = 3600000});
  TestClient watcher(server.socket_path()), changer(server.socket_path());
  // The join was sent first on the connection accepted first, so it is run first.
  watcher.request(R"({"jsonrpc":"2.0","id":1,"method":"JoinGroup","params":{"Group":4}})");
  changer.request(R"({"jsonrpc":"2.0","id":2,"method":"AddObject","params":{"ObjectName":"Device.Rule."}})");
  k::Json event = watcher.message();
  ASSERT_TRUE(event);
  EXPECT_EQ(dump(member(event, "params.EventId")), "4");
  server.stop();  // with replies still waiting
}

TEST(Server, DelayedRepliesArriveInOrder) {
  RunningServer server({.delay_ms = 20});
  TestClient client(server.socket_path());
  for (int id = 1; id <= 5; ++id)
    client.request(R"({"jsonrpc":"2.0","id":)" + std::to_string(id) +
                   R"(,"method":"GetParameterValues","params":{"ParameterNames":["Device.Name"]}})");
  for (int id = 1; id <= 5; ++id)
    EXPECT_EQ(json_integer_value(member(client.message(), "id")), id);
}

TEST(Server, RequestLogKeepsEveryLineAsReceived) {
  test::TempDir dir;
  std::string log = dir.path() + "/requests.log";
  RunningServer server({.request_log = log});
  TestClient client(server.socket_path());
  std::string logged =
      "not json\n"
      R"({"jsonrpc":"2.0","id":1,"method":"GetParameterNames","params":{"ParameterPath":"Device.Name"}})"
      "\r\n"
      R"({ "jsonrpc" : "2.0", "id" : 2, "method" : "Nope" })"
      "\n";
  std::string last = std::string(kNamesRequest) + "\n";
  client.send(logged + "\n \r\n" + last);  // blank lines are no requests
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(client.line());
  std::ifstream in(log, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  EXPECT_EQ(content.str(), logged + last);
}

TEST(Server, HalfClosedClientStillGetsItsReplies) {
  RunningServer server;
  TestClient client(server.socket_path());
  client.request(kNamesRequest);
  client.shut_down_writing();
  EXPECT_EQ(dump(member(client.message(), "id")), "99");
  EXPECT_TRUE(client.closed_by_server());
}

TEST(Server, HugeUnterminatedLineIsReadAndAnsweredOnce) {
  RunningServer server;
  TestClient client(server.socket_path());
  std::string chunk(1 << 20, 'x');
  std::thread writer([&] {
    for (int i = 0; i < 24; ++i) client.send(chunk);
    client.send("\n" + std::string(kNamesRequest) + "\n");
  });
  k::Json first = client.message();
  writer.join();
  EXPECT_EQ(json_integer_value(member(first, "error.code")), -32700);
  EXPECT_EQ(dump(member(client.message(), "id")), "99");
}

TEST(Server, DropsAClientThatNeverReadsAndServesTheOthers) {
  RunningServer server({.max_output = 1 << 20});
  TestClient greedy(server.socket_path()), polite(server.socket_path());
  std::string burst;
  for (int i = 0; i < 4000; ++i)
    burst += R"({"jsonrpc":"2.0","id":1,"method":"GetParameterValues","params":{"ParameterNames":["."]}})" "\n";
  std::thread writer([&] { greedy.send(burst); });  // fails midway once the server drops it
  polite.request(kNamesRequest);
  EXPECT_EQ(dump(member(polite.message(), "id")), "99");
  writer.join();
  EXPECT_TRUE(greedy.closed_by_server());
  polite.request(kNamesRequest);
  EXPECT_EQ(dump(member(polite.message(), "id")), "99");
}

TEST(Server, StoppingRemovesTheSocket) {
  RunningServer server;
  std::string path = server.socket_path();
  EXPECT_TRUE(std::filesystem::exists(path));
  server.stop();
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace sim
