// The messaging layer against peers that behave and peers that do not.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <map>
#include <optional>
#include <thread>
#include <vector>

#include "platform/jrpc_connection.h"
#include "platform/line_reader.h"
#include "testing/test_peer.h"

namespace {

using k::Connection;
using k::Json;
using k::Message;
using k::test::Peer;
using k::test::read_line;
using k::test::say;

TEST(LineReader, SplitsAcrossChunksAndKeepsPartialLines) {
  k::LineReader r;
  r.feed("ab", 2);
  EXPECT_FALSE(r.next_line());
  r.feed("c\nde\n\nf", 7);
  EXPECT_EQ(*r.next_line(), "abc");
  EXPECT_EQ(*r.next_line(), "de");
  EXPECT_EQ(*r.next_line(), "");
  EXPECT_FALSE(r.next_line());
  EXPECT_EQ(r.pending_bytes(), 1u);
  r.feed("g\n", 2);
  EXPECT_EQ(*r.next_line(), "fg");
}

TEST(LineReader, ManySmallChunksOfOneHugeLine) {
  k::LineReader r;
  std::string chunk(1000, 'x');
  for (int i = 0; i < 20000; ++i) {
    r.feed(chunk.data(), chunk.size());
    ASSERT_FALSE(r.has_line());
  }
  r.feed("\n", 1);
  auto line = r.next_line();
  ASSERT_TRUE(line);
  EXPECT_EQ(line->size(), 20000000u);
}

TEST(Message, ParseKinds) {
  struct Case {
    const char* text;
    int kind;  // 0: not a message
  };
  const Case cases[] = {
      {R"({"jsonrpc":"2.0","id":1,"method":"X","params":{}})", k::kMsgRequest},
      {R"({"jsonrpc":"2.0","id":"a","method":"X"})", k::kMsgRequest},
      {R"({"jsonrpc":"2.0","method":"X"})", k::kMsgNotification},
      {R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":7,"Data":{"a":1}}})", k::kMsgEvent},
      {R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":"x"}})", 0},
      // An id beyond 32 bits must not wrap round to another group (4294967300 would be 4).
      {R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":4294967300}})", 0},
      {R"({"jsonrpc":"2.0","id":1,"result":{"a":1}})", k::kMsgResult},
      {R"({"jsonrpc":"2.0","id":1,"error":{"code":9005,"message":"m"}})", k::kMsgError},
      {R"({"jsonrpc":"2.0","id":1,"error":{"message":"no code"}})", 0},
      {R"({"jsonrpc":"2.0","id":1,"result":1,"error":{"code":1}})", 0},
      {R"({"jsonrpc":"2.0","id":1})", 0},
      {R"({"jsonrpc":"1.0","id":1,"result":1})", 0},
      {R"({"id":1,"result":1})", 0},
      {R"({"jsonrpc":"2.0","id":[1],"result":1})", 0},
      {R"({"jsonrpc":"2.0","id":1,"method":5})", 0},
      {R"([1,2])", 0},
  };
  for (const auto& c : cases) {
    Json j = k::json_parse(c.text);
    auto m = k::msg_parse(j.get());
    EXPECT_EQ(m ? m->kind : 0, c.kind) << c.text;
  }
}

TEST(Message, ErrorFieldsAndWireFormRoundTrip) {
  Json j = k::json_parse(
      R"({"jsonrpc":"2.0","id":3,"error":{"code":9003,"message":"Invalid arguments","detail":"d","data":{"P":"9007 x"}}})");
  auto m = k::msg_parse(j.get());
  ASSERT_TRUE(m);
  EXPECT_EQ(m->error_code, 9003);
  EXPECT_EQ(*m->error_message, "Invalid arguments");
  EXPECT_EQ(*m->error_detail, "d");
  EXPECT_TRUE(json_equal(m->to_json().get(), j.get()));

  Message ev = k::msg_create_event(7, Json());
  EXPECT_EQ(k::json_dump(ev.to_json().get(), JSON_COMPACT | JSON_SORT_KEYS),
            R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":7}})");
}

int exchange_with(const Peer& peer, Message& m, int timeout_ms = 2000) {
  Connection c;
  c.set_destination(peer.path());
  c.set_timeout(timeout_ms);
  EXPECT_EQ(c.connect(), 0);
  int r = c.exec(m);
  EXPECT_EQ(r < 0 ? r : 0, r < 0 ? c.socket_err() : 0);
  return r;
}

TEST(Connection, MisbehavingPeersEndTheExchangeWithAClearError) {
  struct Case {
    const char* name;
    std::string reply;  // sent after the request was read; then the peer closes
    int expected;
  };
  const Case cases[] = {
      {"closes mid-message", R"({"jsonrpc":"2.0","id":1,"res)", k::kSockClosed},
      {"closes at once", "", k::kSockClosed},
      {"not JSON", "hello there\n", k::kSockMalformed},
      {"not JSON-RPC", "{\"a\":1}\n", k::kSockNotJsonRpc},
      {"unknown id", R"({"jsonrpc":"2.0","id":99,"result":{}})" "\n", k::kSockUnknownReply},
      {"neither result nor error", R"({"jsonrpc":"2.0","id":1})" "\n", k::kSockNotJsonRpc},
      {"nested too deep", std::string(3000, '[') + std::string(3000, ']') + "\n",
       k::kSockMalformed},
      {"invalid UTF-8", R"({"jsonrpc":"2.0","id":1,"result":")" "\xff\"}\n", k::kSockMalformed},
  };
  for (const auto& c : cases) {
    Peer peer([&](int fd) {
      read_line(fd);
      say(fd, c.reply);
    });
    Message m = k::msg_create("X", Json());
    EXPECT_EQ(exchange_with(peer, m), c.expected) << c.name;
    // The failure is the message's error, so no report can take it for a success.
    EXPECT_EQ(m.kind, k::kMsgError) << c.name;
    EXPECT_EQ(m.error_code, c.expected) << c.name;
    EXPECT_EQ(m.error_message, k::socket_strerror(c.expected)) << c.name;
    EXPECT_TRUE(m.failed_here) << c.name;
  }
}

TEST(Connection, ReplyOfTensOfMegabytes) {
  const size_t n = 30 * 1024 * 1024;
  Peer peer([&](int fd) {
    read_line(fd);
    std::string reply = R"({"jsonrpc":"2.0","id":1,"result":{"Blob":")" + std::string(n, 'z') + "\"}}\n";
    // Dribble it in uneven pieces, as a slow peer would.
    for (size_t at = 0; at < reply.size(); at += 777777)
      say(fd, reply.substr(at, 777777));
  });
  Message m = k::msg_create("X", Json());
  ASSERT_EQ(exchange_with(peer, m, -1), 0);
  ASSERT_EQ(m.kind, k::kMsgResult);
  EXPECT_EQ(json_string_length(json_object_get(m.result.get(), "Blob")), n);
}

// Sends a request that times out, then one that is answered; gives the answer's member "ok"
// (-1 when the second exchange failed).
json_int_t ok_after_a_time_out(Connection& c, const Peer& peer) {
  c.set_destination(peer.path());
  EXPECT_EQ(c.connect(), 0);
  c.set_timeout(100);
  Message first = k::msg_create("Slow", Json());
  EXPECT_EQ(c.exec(first), k::kSockTimeout);
  c.set_timeout(2000);
  Message second = k::msg_create("Next", Json());
  if (c.exec(second) != 0) return -1;
  return json_integer_value(json_object_get(second.result.get(), "ok"));
}

TEST(Connection, EventsDuringAnExchangeWaitForRecvAndLateRepliesAreDropped) {
  Peer peer([&](int fd) {
    read_line(fd);  // request 1: never answered in time
    std::string second = read_line(fd);
    say(fd, R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":9,"Data":[1]}})" "\n");
    say(fd, R"({"jsonrpc":"2.0","id":1,"result":{"late":true}})" "\n");
    say(fd, R"({"jsonrpc":"2.0","id":2,"result":{"ok":1}})" "\n");
  });
  Connection c;
  EXPECT_EQ(ok_after_a_time_out(c, peer), 1);
  EXPECT_TRUE(c.has_buffered_message());
  auto ev = c.recv();
  ASSERT_TRUE(ev);
  EXPECT_EQ(ev->kind, k::kMsgEvent);
  EXPECT_EQ(ev->event_id, 9u);
}

TEST(Connection, AReplyCutByATimeOutIsSkippedAndBlankLinesAreIgnored) {
  Peer peer([&](int fd) {
    read_line(fd);
    say(fd, R"({"jsonrpc":"2.0","id":1,"result":{"half)");
    read_line(fd);  // the second request comes after the first gave up
    say(fd, R"( of it":1}})" "\n\n  \r\n" R"({"jsonrpc":"2.0","id":2,"result":{"ok":2}})" "\n");
  });
  Connection c;
  EXPECT_EQ(ok_after_a_time_out(c, peer), 2);
}

TEST(Connection, RecvReportsNothingWaitingAndAClosedPeer) {
  Peer peer([&](int fd) { read_line(fd); });
  Connection c;
  c.set_destination(peer.path());
  ASSERT_EQ(c.connect(), 0);
  c.set_timeout(50);
  EXPECT_FALSE(c.recv());
  EXPECT_EQ(c.socket_err(), k::kSockNoData);
  ASSERT_EQ(c.send(k::msg_create("Bye", Json())), 0);
  c.set_timeout(2000);
  EXPECT_FALSE(c.recv());
  EXPECT_EQ(c.socket_err(), k::kSockClosed);
  EXPECT_EQ(c.fd(), -1);
}

TEST(Connection, ConnectFailures) {
  Connection c;
  c.set_destination("/nonexistent-dir/veld.sock");
  EXPECT_EQ(c.connect(), k::kSockNoEntry);
  c.set_destination(std::string(200, 'x'));
  EXPECT_EQ(c.connect(), k::kSockPathTooLong);
  EXPECT_STREQ(k::socket_strerror(k::kSockNoEntry), "No such socket");
}

TEST(Connection, AMessageLongerThanTheLimitIsSkippedAndTheConnectionGoesOn) {
  const std::string big(5000, 'z');
  Peer peer([&](int fd) {
    read_line(fd);
    say(fd, R"({"jsonrpc":"2.0","id":1,"result":")" + big + "\"}\n");
    read_line(fd);
    say(fd, R"({"jsonrpc":"2.0","id":2,"result":{"ok":1}})" "\n");
    say(fd, R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":7,"Data":")" + big + "\"}}\n");
    say(fd, R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":8}})" "\n");
  });
  Connection c;
  c.set_destination(peer.path());
  c.set_max_message_bytes(1000);
  ASSERT_EQ(c.connect(), 0);
  Message first = k::msg_create("X", Json());
  EXPECT_EQ(c.exec(first), k::kSockTooLarge);
  EXPECT_EQ(first.error_message, "Message too large");
  Message second = k::msg_create("Y", Json());
  ASSERT_EQ(c.exec(second), 0);
  EXPECT_EQ(json_integer_value(json_object_get(second.result.get(), "ok")), 1);
  EXPECT_FALSE(c.recv());
  EXPECT_EQ(c.socket_err(), k::kSockTooLarge);
  auto event = c.recv();
  ASSERT_TRUE(event);
  EXPECT_EQ(event->event_id, 8u);
}

// Events that arrive while a request waits are kept for recv, but only the latest 1024 of a flood.
TEST(Connection, EventsMetDuringAnExchangeAreBounded) {
  Peer peer([](int fd) {
    read_line(fd);
    std::string flood;
    for (int i = 1; i <= 3000; ++i)
      flood += R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":)" + std::to_string(i) + "}}\n";
    say(fd, flood + R"({"jsonrpc":"2.0","id":1,"result":{}})" "\n");
  });
  Connection c;
  c.set_destination(peer.path());
  c.set_timeout(2000);
  Message m = k::msg_create("X", Json());
  ASSERT_EQ(c.exec(m), 0);
  auto first = c.recv();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->event_id, 3000u - 1024 + 1);
  int kept = 1;
  while (c.has_buffered_message() && c.recv()) ++kept;
  EXPECT_EQ(kept, 1024);
}

TEST(Connection, ARequestThatFailedHereCanBeSentAgain) {
  Peer peer([](int fd) {
    read_line(fd);
    say(fd, R"({"jsonrpc":"2.0","id":1,"result":{"Status":0}})" "\n");
  });
  Message m = k::msg_create("X", Json());
  m.fail_here(k::kSockResend);
  EXPECT_EQ(exchange_with(peer, m), 0);
  EXPECT_EQ(m.kind, k::kMsgResult);
  EXPECT_EQ(m.error_code, 0);
  EXPECT_FALSE(m.error_message || m.failed_here);
}

TEST(Connection, JoinCarriesTheSessionAndTheReceiverFlag) {
  std::string seen;
  Peer peer([&](int fd) {
    seen = read_line(fd);
    say(fd, R"({"jsonrpc":"2.0","id":1,"result":{"Status":0}})" "\n");
  });
  Connection c;
  c.set_destination(peer.path());
  c.set_flags(k::kFlagReceiver);
  c.set_session_id("42-7");
  Message m = k::msg_join_group(4);
  ASSERT_EQ(c.exec(m), 0);
  Json j = k::json_parse(seen);
  json_t* params = json_object_get(j.get(), "params");
  EXPECT_EQ(k::json_text(params, "Session"), "42-7");
  EXPECT_TRUE(json_is_true(json_object_get(params, "Receiver")));
}

using k::test::ScriptedDaemon;
using Strings = std::vector<std::string>;

constexpr const char* kOk = R"({"Status":0})";
constexpr const char* kDenied =
    R"({"code":9001,"message":"Request denied","detail":"login refused"})";
constexpr const char* kGet = R"(GetParameterValues {"ParameterNames":["Device.X"]})";

// A daemon that takes "admin" with "pw", "joe" without a password, and the token "T".
std::map<std::string, std::string> auth_script() {
  return {{R"(Login {"Username":"admin","Password":"pw"})", R"({"Status":0,"User":"admin"})"},
          {R"(Login {"Username":"joe"})", R"({"Status":0,"User":"joe"})"},
          {R"(Authenticate {"Token":"T"})", R"({"Status":0,"User":"tim"})"},
          {R"(Authenticate {"Token":""})", kOk},
          {"Logout", kOk},
          {kGet, R"({"ParameterList":[]})"}};
}

int exec_get(Connection& c) {
  Message m = k::msg_get_parameter_values(k::json_parse(R"(["Device.X"])"));
  return c.exec(m);
}

TEST(Connection, AuthenticationRequestsAndTheirOutcomes) {
  struct Case {
    const char* name;
    std::function<int(Connection&)> call;
    const char* sent;
    int result;
  };
  const Case cases[] = {
      {"password", [](Connection& c) { return c.login("admin", "pw"); },
       R"(Login {"Username":"admin","Password":"pw"})", 0},
      {"wrong password", [](Connection& c) { return c.login("admin", "nope"); },
       R"(Login {"Username":"admin","Password":"nope"})", -1},
      {"no password", [](Connection& c) { return c.login("joe", std::nullopt); },
       R"(Login {"Username":"joe"})", 0},
      {"password not UTF-8", [](Connection& c) { return c.login("joe", "\xff"); },
       R"(Login {"Username":"joe","Password":null})", -1},
      {"token", [](Connection& c) { return c.set_auth("T"); }, R"(Authenticate {"Token":"T"})", 0},
      {"unknown token", [](Connection& c) { return c.set_auth("X"); },
       R"(Authenticate {"Token":"X"})", -1},
      {"token dropped", [](Connection& c) { return c.set_auth(""); },
       R"(Authenticate {"Token":""})", 0},
      {"logout", [](Connection& c) { return c.logout(); }, "Logout", 0},
  };
  for (const auto& c : cases) {
    ScriptedDaemon daemon(auth_script());
    Connection connection;
    connection.set_destination(daemon.path());
    EXPECT_EQ(c.call(connection), c.result) << c.name;
    EXPECT_EQ(daemon.take_requests(), Strings{c.sent}) << c.name;
  }
}

// A new connection starts as a guest. A token login is presented again on it; any other login
// cannot be, and the handle fails every exchange rather than go on as a guest.
TEST(Connection, AuthenticationWhenTheConnectionIsMadeAnew) {
  auto clear_session_flag = [](Connection& c) { c.set_flags(c.flags() & ~k::kFlagSessionLogin); };
  struct Case {
    const char* name;
    std::function<void(Connection&, ScriptedDaemon&)> before;  // on the first connection
    int result;          // of an exchange on the new connection
    Strings sent;        // on the new connection
  };
  const Case cases[] = {
      {"guest", [](Connection&, ScriptedDaemon&) {}, 0, {kGet}},
      {"password login", [](Connection& c, ScriptedDaemon&) { c.login("admin", "pw"); },
       k::kSockLoginLost, {}},
      {"login without password", [](Connection& c, ScriptedDaemon&) { c.login("joe", {}); },
       k::kSockLoginLost, {}},
      {"token, not renewable", [](Connection& c, ScriptedDaemon&) { c.set_auth("T"); },
       k::kSockLoginLost, {}},
      {"token",
       [&](Connection& c, ScriptedDaemon&) {
         c.set_auth("T");
         clear_session_flag(c);
       },
       0, {R"(Authenticate {"Token":"T"})", kGet}},
      {"token refused on the new connection",
       [&](Connection& c, ScriptedDaemon& d) {
         c.set_auth("T");
         clear_session_flag(c);
         d.reply(R"(Authenticate {"Token":"T"})", kDenied);
       },
       k::kSockLoginLost, {R"(Authenticate {"Token":"T"})"}},
      {"token dropped",
       [&](Connection& c, ScriptedDaemon&) {
         c.set_auth("T");
         clear_session_flag(c);
         c.set_auth("");
       },
       0, {kGet}},
      {"password login after a token",
       [&](Connection& c, ScriptedDaemon&) {
         c.set_auth("T");
         clear_session_flag(c);
         c.login("admin", "pw");
       },
       k::kSockLoginLost, {}},
      {"logged out",
       [](Connection& c, ScriptedDaemon&) {
         c.login("admin", "pw");
         c.logout();
       },
       0, {kGet}},
  };
  for (const auto& c : cases) {
    ScriptedDaemon daemon(auth_script());
    Connection connection;
    connection.set_destination(daemon.path());
    c.before(connection, daemon);
    ASSERT_EQ(exec_get(connection), 0) << c.name;
    daemon.take_requests();
    daemon.drop_connection();
    // The first write finds the connection dead (to be sent again); the second makes a new one.
    EXPECT_EQ(exec_get(connection), k::kSockResend) << c.name;
    Message m = k::msg_get_parameter_values(k::json_parse(R"(["Device.X"])"));
    EXPECT_EQ(connection.exec(m), c.result) << c.name;
    EXPECT_EQ(daemon.take_requests(), c.sent) << c.name;
    if (c.result == k::kSockLoginLost) {
      EXPECT_EQ(m.error_code, k::kSockLoginLost) << c.name;
      EXPECT_EQ(m.error_message, "Login lost with the connection") << c.name;
      EXPECT_EQ(connection.send(k::msg_create_event(9, Json())), k::kSockLoginLost) << c.name;
    }
  }
}

// While the login is lost, logging in, presenting a token or logging out goes through and ends it,
// whatever veld answers (a refused login leaves a guest, who may go on).
TEST(Connection, ALostLoginEndsWithTheNextLoginOrLogout) {
  struct Case {
    const char* name;
    std::function<int(Connection&)> call;
    int result;
    const char* sent;
  };
  const Case cases[] = {
      {"login", [](Connection& c) { return c.login("admin", "pw"); }, 0,
       R"(Login {"Username":"admin","Password":"pw"})"},
      {"refused login", [](Connection& c) { return c.login("admin", "nope"); }, -1,
       R"(Login {"Username":"admin","Password":"nope"})"},
      {"token", [](Connection& c) { return c.set_auth("T"); }, 0, R"(Authenticate {"Token":"T"})"},
      {"logout", [](Connection& c) { return c.logout(); }, 0, "Logout"},
  };
  for (const auto& c : cases) {
    ScriptedDaemon daemon(auth_script());
    Connection connection;
    connection.set_destination(daemon.path());
    ASSERT_EQ(connection.login("admin", "pw"), 0);
    daemon.drop_connection();
    exec_get(connection);
    ASSERT_EQ(exec_get(connection), k::kSockLoginLost) << c.name;
    daemon.take_requests();
    EXPECT_EQ(c.call(connection), c.result) << c.name;
    EXPECT_EQ(exec_get(connection), 0) << c.name;
    EXPECT_EQ(daemon.take_requests(), (Strings{c.sent, kGet})) << c.name;
  }
}

}  // namespace
