#include "daemon/authentication.h"

#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "daemon/dispatch.h"
#include "engine/caller_rights.h"
#include "platform/socket.h"

namespace sim {

namespace {

Reply user_reply(const std::string& user) {
  Reply r = Reply::status_ok();
  json_object_set_new(r.result.get(), "User", json_stringn(user.data(), user.size()));
  return r;
}

}  // namespace

Reply login(const Accounts& accounts, const PeerCredentials& peer, json_t* params,
            Caller& caller) {
  caller = guest_caller(accounts);
  std::optional<std::string> name, password;
  if (!opt_text(params, "Username", name) || !name || !opt_text(params, "Password", password))
    return Reply::failure(kInvalidParams,
                          "expects Username (text) and an optional Password (text)");
  // One answer whatever the reason, so that a refusal does not tell which accounts exist.
  const Account* account = accounts.find(*name);
  bool accepted = account && account->enabled &&
                  (password ? password_matches(account->password_hash, *password)
                            : peer_may_log_in_as(peer, *name));
  if (!accepted) return Reply::failure(kRequestDenied, "login refused");
  caller = user_caller(*account);
  return user_reply(account->name);
}

Reply authenticate(const Accounts& accounts, const PeerCredentials&, json_t* params,
                   Caller& caller) {
  caller = guest_caller(accounts);
  std::optional<std::string> token;
  if (!opt_text(params, "Token", token) || !token)
    return Reply::failure(kInvalidParams, "expects Token (text)");
  if (token->empty()) return Reply::status_ok();  // "": back to a guest
  const Account* account = accounts.find_by_token(*token);
  if (!account || !account->enabled) return Reply::failure(kRequestDenied, "token refused");
  caller = user_caller(*account);
  return user_reply(account->name);
}

Reply logout(const Accounts& accounts, const PeerCredentials&, json_t*, Caller& caller) {
  caller = guest_caller(accounts);
  return Reply::status_ok();
}

PeerCredentials peer_credentials(int fd) {
  // Over TCP the kernel names no process (it would report the overflow user): such a peer is
  // nobody in particular and logs in with a password.
  if (!k::is_unix_socket(fd)) return {};
  ucred cred{};
  socklen_t size = sizeof cred;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &size) != 0 || size != sizeof cred)
    return {};
  return {true, cred.uid};
}

std::string system_user_name(uid_t uid) {
  long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buf(hint > 0 ? static_cast<size_t>(hint) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  int err;
  // A buffer too small for the entry is grown until it fits.
  while ((err = ::getpwuid_r(uid, &entry, buf.data(), buf.size(), &found)) == ERANGE &&
         buf.size() < (1u << 20))
    buf.resize(buf.size() * 2);
  return err == 0 && found && found->pw_name ? std::string(found->pw_name) : std::string();
}

bool peer_may_log_in_as(const PeerCredentials& peer, std::string_view username) {
  if (!peer.known) return false;
  if (peer.uid == 0) return true;
  std::string name = system_user_name(peer.uid);
  return !name.empty() && name == username;
}

}  // namespace sim
