#include "engine/event_router.h"

namespace sim {

namespace {

// The session key of a connection that named none; "#" cannot start a client's session text
// in practice, and keeps the two apart.
std::string own_session(ConnId conn) { return "#conn-" + std::to_string(conn); }

}  // namespace

std::string EventRouter::session_of(ConnId conn) const {
  auto it = members_.find(conn);
  return it == members_.end() ? own_session(conn) : it->second.session;
}

void EventRouter::join(ConnId conn, unsigned group, const std::string& session, bool receiver) {
  Member& m = members_[conn];
  std::string key = session.empty() ? (m.session.empty() ? own_session(conn) : m.session)
                                    : session;
  if (m.session != key) {
    if (!m.session.empty()) {
      Session& old = sessions_[m.session];
      old.members.erase(conn);
      if (old.has_receiver && old.receiver == conn) old.has_receiver = false;
      if (old.members.empty()) sessions_.erase(m.session);
    }
    m.session = key;
  }
  Session& s = sessions_[key];
  s.members.insert(conn);
  if (receiver) {
    s.receiver = conn;
    s.has_receiver = true;
  }
  m.groups.insert(group);
}

void EventRouter::forget(ConnId conn) {
  auto it = members_.find(conn);
  if (it == members_.end()) return;
  auto s = sessions_.find(it->second.session);
  if (s != sessions_.end()) {
    s->second.members.erase(conn);
    if (s->second.has_receiver && s->second.receiver == conn) s->second.has_receiver = false;
    if (s->second.members.empty()) sessions_.erase(s);
  }
  members_.erase(it);
}

std::vector<ConnId> EventRouter::recipients(unsigned group, const ConnId* sender) const {
  std::string skip = sender ? session_of(*sender) : std::string();
  std::vector<ConnId> out;
  for (const auto& [key, s] : sessions_) {
    if (sender && key == skip) continue;
    std::vector<ConnId> joined;
    for (ConnId c : s.members)
      if (members_.at(c).groups.count(group)) joined.push_back(c);
    if (joined.empty()) continue;
    if (s.has_receiver)
      out.push_back(s.receiver);
    else
      out.insert(out.end(), joined.begin(), joined.end());
  }
  return out;
}

}  // namespace sim
