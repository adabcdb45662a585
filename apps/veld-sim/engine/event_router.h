// Event groups and sessions: which connections joined which groups, which connections form one
// client process (a session), and so where an event goes.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace sim {

// Connections are named by the server's connection ids.
using ConnId = uint64_t;

class EventRouter {
 public:
  // JoinGroup: `conn` joins `group`. A non-empty `session` puts the connection into that
  // session (else it is a session of its own); `receiver` makes it the session's receiving
  // connection.
  void join(ConnId conn, unsigned group, const std::string& session, bool receiver);
  // A connection closed: it leaves its groups and its session.
  void forget(ConnId conn);
  // The connections an event of `group` is delivered to, each once: for every session in which
  // some connection joined the group, its receiver, or without one the connections that joined.
  // The session of `sender` (when given) gets nothing.
  std::vector<ConnId> recipients(unsigned group, const ConnId* sender = nullptr) const;

 private:
  struct Member {
    std::string session;
    std::set<unsigned> groups;
  };
  struct Session {
    std::set<ConnId> members;
    ConnId receiver = 0;
    bool has_receiver = false;
  };
  std::string session_of(ConnId conn) const;

  std::map<ConnId, Member> members_;
  std::map<std::string, Session> sessions_;
};

}  // namespace sim
