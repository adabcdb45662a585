#include "event_router.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

std::vector<ConnId> sorted(std::vector<ConnId> v) {
  std::sort(v.begin(), v.end());
  return v;
}

TEST(EventRouter, DeliversToJoinedSessionsOnly) {
  EventRouter r;
  r.join(1, 4, "", false);
  r.join(2, 7, "", false);
  EXPECT_EQ(r.recipients(4), std::vector<ConnId>{1});
  EXPECT_EQ(r.recipients(7), std::vector<ConnId>{2});
  EXPECT_TRUE(r.recipients(5).empty());
}

TEST(EventRouter, SessionEventsGoToItsReceiverOnce) {
  EventRouter r;
  r.join(1, 4, "proc-a", true);    // receiver of proc-a
  r.join(2, 9, "proc-a", false);   // another handle of proc-a joins group 9
  r.join(3, 4, "proc-a", false);
  EXPECT_EQ(r.recipients(9), std::vector<ConnId>{1});
  EXPECT_EQ(r.recipients(4), std::vector<ConnId>{1});
}

TEST(EventRouter, SessionWithoutReceiverGetsEventsOnTheJoiningConnections) {
  EventRouter r;
  r.join(1, 4, "proc-b", false);
  r.join(2, 5, "proc-b", false);
  EXPECT_EQ(r.recipients(4), std::vector<ConnId>{1});
  EXPECT_EQ(r.recipients(5), std::vector<ConnId>{2});
}

TEST(EventRouter, RelayedEventsSkipTheSendersSession) {
  EventRouter r;
  r.join(1, 12, "a", true);
  r.join(2, 12, "a", false);
  r.join(3, 12, "", false);
  r.join(4, 12, "c", false);
  ConnId sender = 2;
  EXPECT_EQ(sorted(r.recipients(12, &sender)), (std::vector<ConnId>{3, 4}));
  sender = 3;
  EXPECT_EQ(sorted(r.recipients(12, &sender)), (std::vector<ConnId>{1, 4}));
  sender = 9;  // a sender that joined nothing
  EXPECT_EQ(sorted(r.recipients(12, &sender)), (std::vector<ConnId>{1, 3, 4}));
}

TEST(EventRouter, ForgottenReceiverFallsBackToTheJoiningConnections) {
  EventRouter r;
  r.join(1, 4, "a", true);
  r.join(2, 4, "a", false);
  r.forget(1);
  EXPECT_EQ(r.recipients(4), std::vector<ConnId>{2});
  r.forget(2);
  EXPECT_TRUE(r.recipients(4).empty());
}

TEST(EventRouter, ChangingSessionLeavesTheOldOne) {
  EventRouter r;
  r.join(1, 4, "a", true);
  r.join(2, 4, "a", false);
  r.join(1, 4, "b", false);  // connection 1 moves to session b
  EXPECT_EQ(sorted(r.recipients(4)), (std::vector<ConnId>{1, 2}));
}

}  // namespace
}  // namespace sim
