#include "engine/event_router.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace sim {
namespace {

struct Join {
  ConnId conn;
  unsigned group;
  const char* session;
  bool receiver;
};

TEST(EventRouter, Recipients) {
  const std::vector<Join> mixed = {
      {1, 12, "a", true}, {2, 12, "a", false}, {3, 12, "", false}, {4, 12, "c", false}};
  const struct {
    std::vector<Join> joins;
    std::vector<ConnId> forgotten;
    unsigned group;
    ConnId sender;  // 0: none (a change event)
    std::vector<ConnId> expected;
  } cases[] = {
      // A session's events go to its receiver once, whichever of its connections joined.
      {{{1, 4, "a", true}, {2, 9, "a", false}, {3, 9, "a", false}}, {}, 9, 0, {1}},
      // Relayed events skip the sender's whole session.
      {mixed, {}, 12, 2, {3, 4}},
      {mixed, {}, 12, 3, {1, 4}},
      {mixed, {}, 12, 9, {1, 3, 4}},
      // Without its receiver a session gets events on the joining connections.
      {{{1, 4, "a", true}, {2, 4, "a", false}}, {1}, 4, 0, {2}},
      {{{1, 4, "a", true}, {2, 4, "a", false}}, {1, 2}, 4, 0, {}},
      // A connection that changes session leaves the old one (and its receiver role).
      {{{1, 4, "a", true}, {2, 4, "a", false}, {1, 4, "b", false}}, {}, 4, 0, {1, 2}},
      // "Receiver": false takes the role from nobody; an empty session keeps the connection's.
      {{{1, 4, "a", true}, {1, 9, "a", false}, {2, 9, "a", false}}, {}, 9, 0, {1}},
      {{{1, 4, "a", true}, {2, 4, "a", false}, {2, 9, "", false}}, {}, 9, 0, {1}},
      // The last connection to join as receiver is the session's receiver.
      {{{1, 4, "a", true}, {2, 4, "a", true}}, {}, 4, 0, {2}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    EventRouter r;
    for (const Join& j : c.joins) r.join(j.conn, j.group, j.session, j.receiver);
    for (ConnId f : c.forgotten) r.forget(f);
    std::vector<ConnId> got = r.recipients(c.group, c.sender ? &c.sender : nullptr);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, c.expected) << "case " << i;
  }
}

}  // namespace
}  // namespace sim
