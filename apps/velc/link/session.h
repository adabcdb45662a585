// The client's session with veld: the two connections, who is logged in, and whether the events
// connection still lives. One Session is made at start-up and lives for the whole run; commands
// reach it through their context.
#pragma once

#include <optional>
#include <string>

#include "platform/jrpc_connection.h"

struct Session {
  // Gives both connections this process's session identity, so that the events of the groups
  // joined on the requests connection reach the events connection.
  Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  k::Connection requests;  // every request of every command is sent and answered here
  k::Connection events;    // receives events: group 4 (data-model changes) and joined groups
  std::optional<std::string> user;  // the logged-in user's name; none when nobody is
  bool system_access = false;  // the user's "Device.Users.SystemAccess" is true
  bool token_login = false;    // the login came from a token (logging out drops the token)
  // Changes with every change of user, so that what was fetched for another user (the schema
  // cache) is known to be stale.
  unsigned user_generation = 0;
  bool running = true;         // cleared when the events connection is lost
  // Requests that failed so far: every request_exchange whose reply holds no result (an error of
  // veld, a refused right, or a failure on our side: no connection, no reply in time, a reply
  // that cannot be read). The dispatchers compare it before and after a command.
  unsigned failed_requests = 0;
  // Strict mode (--strict, `opt strict on`): a command that reports success although one of its
  // requests failed gives -1 instead, so that request mode, scripts and their callers see it.
  bool strict = false;
};
