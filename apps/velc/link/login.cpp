#include "link/login.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "link/exchange.h"
#include "platform/tcp.h"

namespace {

// The value of one parameter as veld gives it to the session's user; none when veld refuses or
// cannot be asked. Nothing is printed: a refusal is an answer here.
k::Json read_value(Session& session, const char* path) {
  k::Json names = k::Json::take(json_array());
  json_array_append_new(names.get(), json_string(path));
  k::Message m = k::msg_get_parameter_values(names);
  request_probe(session, m, k::kDefaultTimeoutMs);
  if (!reply_ok(m)) return k::Json();
  json_t* entry = json_array_get(json_object_get(m.result.get(), "ParameterList"), 0);
  return k::Json::borrow(json_object_get(entry, "Value"));
}

}  // namespace

void set_current_user(Session& session, const std::optional<std::string>& name) {
  session.user = name;
  k::Json access;
  if (name) access = read_value(session, "Device.Users.SystemAccess");
  session.system_access = json_is_true(access.get());
  ++session.user_generation;
}

int user_login(Session& session, const std::string& login,
               const std::optional<std::string>& password) {
  k::Connection& requests = session.requests;
  // An exchange that failed (veld silent or gone) is not asked again as a token, nor told to log
  // out: each would wait as long again for nothing. The client takes the connection for a guest.
  auto lost = [&session](int r) {
    session.token_login = false;
    set_current_user(session, std::nullopt);
    return r;
  };
  int r = requests.login(login, password);
  if (r == 0) {
    session.token_login = false;
    set_current_user(session, login);
    return 0;
  }
  if (r != kLoginRefused) return lost(r);
  // Not a user (or not this password): perhaps a token. Its user is whoever veld then says we
  // are; a token veld refused is not asked about, so that no earlier answer is taken for its.
  r = requests.set_auth(login);
  if (r != 0 && r != kLoginRefused) return lost(r);
  if (r == 0) {
    k::Json user = read_value(session, "Device.Users.CurrentUser");
    if (json_is_string(user.get())) {
      // A token can be presented again on a new connection, unlike a password login.
      requests.set_flags(requests.flags() & ~k::kFlagSessionLogin);
      session.token_login = true;
      set_current_user(session, json_string_value(user.get()));
      return 0;
    }
  }
  user_logout(session);
  return kLoginRefused;
}

std::string login_failure_reason(const Session& session, int result, bool with_password) {
  const k::Connection& requests = session.requests;
  switch (result) {
    case kLoginRefused:
      return with_password ? "wrong user name or password"
                           : "refused as a user without a password and as a token";
    case k::kSockTimeout: {
      int ms = requests.timeout();
      return "veld did not answer within " +
             (ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms");
    }
    case k::kSockClosed:
    case k::kSockRead:
    case k::kSockResend: {
      // A TLS listener drops a peer that does not speak TLS at its first plain line.
      std::string reason = "the connection was closed during login";
      if (!(requests.flags() & k::kFlagSsl))
        reason += k::is_tcp_destination(requests.destination())
                      ? "; is it a TLS port? (use --ssl)"
                      : "; is it a TLS socket? (use --ssl)";
      return reason;
    }
    default:
      return requests.error_text() + "(" + std::to_string(result) + ")";
  }
}

void report_login_failure(const Session& session, const std::string& login, int result,
                          bool with_password) {
  std::string reason = login_failure_reason(session, result, with_password);
  std::fflush(stdout);  // on a terminal, after what was said before
  if (with_password)
    std::fprintf(stderr, "velc: cannot log in as %s: %s\n", login.c_str(), reason.c_str());
  else
    std::fprintf(stderr, "velc: cannot log in: %s\n", reason.c_str());
}

int user_logout(Session& session) {
  // veld is told first: what is read for the new user (nobody) must be read with its rights.
  // Dropping a token needs no answer of veld to count.
  int r = session.token_login ? (session.requests.set_auth(""), 0) : session.requests.logout();
  set_current_user(session, std::nullopt);
  return r;
}

void try_login(Session& session) {
  if (session.user || !session.requests.is_local()) return;
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size == -1 ? 16384 : static_cast<size_t>(size));
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_name)
    user_login(session, found->pw_name, std::nullopt);
}
