// Logins over the socket: Login, Authenticate, Logout, and who a peer is.
#include "daemon/test_server.h"

namespace sim {
namespace {

using namespace test;

std::string own_name() {
  passwd* p = ::getpwuid(::geteuid());
  return p ? p->pw_name : "";
}

// `openssl passwd -6 -salt testsalt1 secret`; the digest is SHA-256 of "tok-admin".
Accounts test_accounts() {
  std::string section = R"({"guest": {"Device.Serial": "r", "Device.CurrentUser": "r"}, "users": {
    "admin": {"passwordHash": "$6$testsalt1$JkeJddrQoqmQ5RwUPjpMuSlpzGy8Tt0jTbPww9/ABmTGbGNMEYBlLH1ZQ.gT2ATKCwvZphEsKiaqNLl9fEIMD0",
      "tokenDigests": ["df6adb0b23fa33235f4aee6a0d62c118b00d71c07c81be87067b4f5892e66dbc"],
      "systemAccess": true, "rights": {".": "rwadx"}},
    "off": {"passwordHash": "$6$testsalt1$JkeJddrQoqmQ5RwUPjpMuSlpzGy8Tt0jTbPww9/ABmTGbGNMEYBlLH1ZQ.gT2ATKCwvZphEsKiaqNLl9fEIMD0",
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
      // Any refusal leaves a guest behind, whatever the reason.
      {"Login", R"({"Username":"admin","Password":"Secret"})", kLoginRefused, kGuest},
      {"Login", R"({"Username":"off","Password":"secret"})", kLoginRefused, kGuest},
      {"Authenticate", R"({"Token":"tok-admin"})", kAdmin, "admin"},
      {"Authenticate", R"({"Token":"df6adb0b23fa33235f4aee6a0d62c118b00d71c07c81be87067b4f5892e66dbc"})",
       kTokenRefused, kGuest},
      {"Authenticate", R"({"Token":"tok-admin"})", kAdmin, "admin"},
      {"Authenticate", R"({"Token":""})", R"({"Status":0})", kGuest},
      // Params of the wrong shape: refused, and the connection is a guest all the same.
      {"Authenticate", R"({"Token":"tok-admin"})", kAdmin, "admin"},
      {"Login", R"({"Username":5})",
       R"x({"code":-32602,"message":"Invalid params","detail":"expects Username (text) and an optional Password (text)"})x",
       kGuest},
      {"Authenticate", "{}", R"x({"code":-32602,"message":"Invalid params","detail":"expects Token (text)"})x", kGuest},
      {"Authenticate", R"({"Token":"tok-admin"})", kAdmin, "admin"},
      {"Logout", nullptr, R"({"Status":0})", kGuest},
  };
  for (const auto& s : steps) {
    EXPECT_EQ(call(c, s.method, s.params), s.reply) << s.method << " " << (s.params ? s.params : "");
    EXPECT_EQ(who(c), s.then) << s.method << " " << (s.params ? s.params : "");
  }
}

// Without a password the peer takes its own account (run through velc, as root too); a peer
// whose credentials the kernel did not tell takes none.
TEST(Authentication, PeerCredentialsDecideThePasswordlessLoginAndATcpPeerHasNone) {
  EXPECT_FALSE(peer_may_log_in_as({false, ::geteuid()}, own_name()));  // the kernel told nothing
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



}  // namespace
}  // namespace sim
