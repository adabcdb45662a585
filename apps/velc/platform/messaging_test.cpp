// The messaging layer against peers that behave and peers that do not.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/jrpc_connection.h"
#include "platform/line_reader.h"
#include "testing/test_peer.h"
#include "testing/test_stream.h"

namespace {

using k::Connection;
using k::Json;
using k::Message;
using k::test::Peer;
using k::test::read_line;
using k::test::say;
using k::test::ScriptedDaemon;
using Strings = std::vector<std::string>;

TEST(Message, ParseKinds) {
  const std::pair<const char*, int> cases[] = {  // kind 0: not a message
      {R"({"jsonrpc":"2.0","method":"X"})", k::kMsgNotification},
      {R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":7,"Data":{"a":1}}})", k::kMsgEvent},
      // An id beyond 32 bits must not wrap round to another group (4294967300 would be 4).
      {R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":4294967300}})", 0},
      {R"({"jsonrpc":"2.0","id":1,"result":{"a":1}})", k::kMsgResult},
      {R"({"jsonrpc":"2.0","id":1,"error":{"code":9005,"message":"m"}})", k::kMsgError},
  };
  for (const auto& [text, kind] : cases) {
    auto m = k::msg_parse(k::json_parse(text).get());
    EXPECT_EQ(m ? m->kind : 0, kind) << text;
  }
}

// A reply or event longer than the limit is skipped and the connection goes on; of a flood of
// events met while a request waits, only the latest 1024 are kept for recv.
TEST(Connection, TooLongMessagesAndEventFloodsAreBounded) {
  const std::string big(5000, 'z');
  Peer peer([&](int fd) {
    read_line(fd);
    say(fd, R"({"jsonrpc":"2.0","id":1,"result":")" + big + "\"}\n");
    read_line(fd);
    std::string flood;
    for (int i = 1; i <= 3000; ++i)
      flood += R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":)" + std::to_string(i) + "}}\n";
    say(fd, flood + R"({"jsonrpc":"2.0","id":2,"result":{"ok":1}})" "\n");
    say(fd, R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":7,"Data":")" + big + "\"}}\n");
  });
  Connection c;
  c.set_destination(peer.path());
  c.set_max_message_bytes(1000);
  Message x = k::msg_create("X", Json()), y = k::msg_create("Y", Json());
  EXPECT_EQ(c.exec(x), k::kSockTooLarge);
  EXPECT_EQ(x.error_message, "Message too large");
  ASSERT_EQ(c.exec(y), 0);
  EXPECT_EQ(k::json_dump(y.result.get(), JSON_COMPACT), R"({"ok":1})");
  for (unsigned id = 3000 - 1024 + 1; id <= 3000; ++id) {
    auto event = c.recv();
    ASSERT_TRUE(event) << id;
    EXPECT_EQ(event->event_id, id);
  }
  EXPECT_FALSE(c.recv());
  EXPECT_EQ(c.socket_err(), k::kSockTooLarge);
}

// A large reply keeps the reader's memory its text lies in: what came behind it in the same read
// stays with the connection, and the reply still prints after the connection read on.
TEST(Connection, ALargeReplyKeepsItsTextAndLeavesWhatFollows) {
  Peer peer([&](int fd) {
    read_line(fd);
    say(fd, R"({"jsonrpc":"2.0","id":1,"result":{"a":"x"}})" "\n"
            R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":5}})" "\n");
    read_line(fd);
    say(fd, R"({"jsonrpc":"2.0","id":2,"result":{"b":"y"}})" "\n");
  });
  Connection c;
  c.set_destination(peer.path());
  Message x = k::msg_create("X", Json()), y = k::msg_create("Y", Json());
  k::LargeReply large;
  ASSERT_EQ(c.exec(x, large), 0);
  EXPECT_EQ(x.kind, k::kMsgResult);
  ASSERT_EQ(c.exec(y), 0);
  auto event = c.recv();
  ASSERT_TRUE(event);
  EXPECT_EQ(event->event_id, 5u);
  TestStream out;
  large.write_message(out.file);
  EXPECT_EQ(out.text(), "{\n    \"jsonrpc\": \"2.0\",\n    \"id\": 1,\n    \"result\": {\n        \"a\": \"x\"\n    }\n}");
}

constexpr const char* kOk = R"({"Status":0})";
constexpr const char* kGet = R"(GetParameterValues {"ParameterNames":["Device.X"]})";
constexpr const char* kTokenT = R"(Authenticate {"Token":"T"})";
constexpr const char* kAdmin = R"(Login {"Username":"admin","Password":"pw"})";

Message get_x() { return k::msg_get_parameter_values(k::json_parse(R"(["Device.X"])")); }
int exec_get(Connection& c) {
  Message m = get_x();
  return c.exec(m);
}

// The daemon restarts between two requests (the connection ends under the client): the next
// request finds the connection dead before it left and goes on a new one, which starts as a
// guest. A token login is presented again on it; any other login cannot be, and the handle fails
// every exchange rather than go on as a guest, until the next login, token or logout.
TEST(Connection, ARequestAfterTheDaemonRestartedGoesOnANewConnection) {
  // Steps on the first connection: L password login, t token, T renewable token, O logout,
  // R the token refused on the new connection.
  const struct {
    const char* steps;
    int result;    // of a request on the new connection
    Strings sent;  // on the new connection
  } cases[] = {
      {"", 0, {kGet}},           {"L", k::kSockLoginLost, {}}, {"t", k::kSockLoginLost, {}},
      {"T", 0, {kTokenT, kGet}}, {"TR", k::kSockLoginLost, {kTokenT}}, {"LO", 0, {kGet}},
  };
  for (const auto& c : cases) {
    ScriptedDaemon daemon({{kAdmin, kOk}, {kTokenT, kOk}, {"Logout", kOk}, {kGet, kOk}});
    Connection connection;
    connection.set_destination(daemon.path());
    for (const char* step = c.steps; *step; ++step) {
      if (*step == 'L') connection.login("admin", "pw");
      if (*step == 'O') connection.logout();
      if (*step == 'R') daemon.reply(kTokenT, R"({"code":9001})");
      if (*step == 't' || *step == 'T') connection.set_auth("T");
      if (*step == 'T') connection.set_flags(connection.flags() & ~k::kFlagSessionLogin);
    }
    ASSERT_EQ(exec_get(connection), 0) << c.steps;
    uint64_t connections = connection.connections();
    daemon.take_requests();
    daemon.drop_connection();
    Message m = get_x();
    EXPECT_EQ(connection.exec(m), c.result) << c.steps;
    EXPECT_EQ(connection.connections(), connections + 1) << c.steps;
    EXPECT_EQ(daemon.take_requests(), c.sent) << c.steps;
    if (c.result != k::kSockLoginLost) continue;
    EXPECT_EQ(m.error_message, "Login lost with the connection") << c.steps;
    EXPECT_EQ(connection.send(k::msg_create_event(9, Json())), k::kSockLoginLost) << c.steps;
    // Logging in, presenting a token or logging out ends it, whatever veld answers.
    EXPECT_EQ(connection.login("admin", "nope"), -1) << c.steps;
    EXPECT_EQ(exec_get(connection), 0) << c.steps;
  }
}

// A request that left before the connection ended may have been carried out: it is not sent
// again (a set must not be applied twice); the end is the request's failure.
TEST(Connection, ARequestThatLeftIsNotSentTwice) {
  constexpr const char* kSet = R"(SetParameterValues {"ParameterList":[{"Name":"A","Value":1}]})";
  ScriptedDaemon daemon;
  daemon.reply(kSet, ScriptedDaemon::kGoAway);
  Connection c;
  c.set_destination(daemon.path());
  Message m = k::msg_create("SetParameterValues", k::json_parse(kSet + 19));
  EXPECT_EQ(c.exec(m), k::kSockClosed);
  EXPECT_EQ(daemon.take_requests(), Strings{kSet});
  // The failed request may be sent again by its caller, and its reply replaces the failure.
  daemon.reply(kSet, kOk);
  EXPECT_EQ(c.exec(m), 0);
  EXPECT_EQ(m.kind, k::kMsgResult);
  EXPECT_FALSE(m.error_message || m.failed_here);
}

}  // namespace
