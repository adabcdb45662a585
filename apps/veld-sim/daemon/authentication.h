// Logging in and out on a connection: the methods Login, Authenticate and Logout, which change
// the connection's caller. Each connection starts as a guest; a refused login leaves it one.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

#include "engine/engine.h"
#include "model/accounts.h"

namespace sim {

// The process at the other end of a UNIX socket, as the kernel saw it connect.
struct PeerCredentials {
  bool known = false;
  uid_t uid = 0;
};

// The credentials of the peer of a connected UNIX socket (unknown when the kernel tells none,
// and always for a TCP connection).
PeerCredentials peer_credentials(int fd);

// The name of the system user with that id; "" when there is none.
std::string system_user_name(uid_t uid);

// True when the peer may log in as `username` without a password: it runs as root, which may
// take any account, or as the system user of that very name.
bool peer_may_log_in_as(const PeerCredentials& peer, std::string_view username);

// The methods Login, Authenticate and Logout for a connection from `peer` whose caller is
// `caller`, with params that are a JSON object. Each changes the caller: a success makes it the
// user, anything else (Logout included) a guest.
using AccountMethod = Reply (*)(const Accounts& accounts, const PeerCredentials& peer,
                                json_t* params, Caller& caller);
Reply login(const Accounts& accounts, const PeerCredentials& peer, json_t* params, Caller& caller);
Reply authenticate(const Accounts& accounts, const PeerCredentials& peer, json_t* params,
                   Caller& caller);
Reply logout(const Accounts& accounts, const PeerCredentials& peer, json_t* params, Caller& caller);

}  // namespace sim
