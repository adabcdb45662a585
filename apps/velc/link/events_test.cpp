// Changes of the data model arriving on the events connection (their printing is seen end to
// end).
#include "link/events.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <future>
#include <string>
#include <vector>

#include "link/session.h"
#include "platform/interrupt.h"
#include "testing/stdout_capture.h"
#include "testing/test_peer.h"

namespace {

// Changes of one instance coalesce into what became of it.
TEST(ChangeQueue, CoalescesByInstance) {
  const std::pair<std::vector<const char*>, InstanceChange> cases[] = {
      {{"Delete", "Add"}, InstanceChange::kReplaced},
      {{"Add", "Add"}, InstanceChange::kAdded},
      {{"Add", "Delete"}, InstanceChange::kDeleted},
  };
  for (const auto& [actions, result] : cases) {
    ChangeQueue queue;
    for (const char* action : actions) {
      const char* path = *action == 'A' ? "Device.Hosts.Host." : "Device.Hosts.Host.3.";
      k::Json data = k::Json::take(json_pack("{s:s, s:s, s:i}", "Action", action, "Path", path, "InstanceNumber", 3));
      queue.push(data.get());
    }
    auto tables = queue.take();
    EXPECT_EQ(tables["Device.Hosts.Host."].instances.at(3), result) << actions.size();
  }
}

// A reply that comes after its request gave up (the events connection's JoinGroup at start-up,
// from a slow veld) is all there is to read: it is dropped at once, without waiting the handle's
// time-out for another message, which would hold the shell's first prompt deaf to the keyboard.
TEST(EventReceive, ALateReplyAloneIsDroppedWithoutWaiting) {
  std::promise<void> gave_up, dropped;
  k::test::Peer peer([&](int fd) {
    k::test::read_line(fd);
    gave_up.get_future().wait();
    k::test::say(fd, R"({"jsonrpc":"2.0","id":1,"result":{"Status":"OK"}})" "\n");
    dropped.get_future().wait();
    k::test::say(fd, R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":9}})" "\n");
  });
  Session session;
  session.events.set_destination(peer.path());
  session.events.set_timeout(100);
  k::Message join = k::msg_join_group(4);
  EXPECT_EQ(session.events.exec(join), k::kSockTimeout);
  gave_up.set_value();
  session.events.set_timeout(60000);  // a wait for more would hang the test
  ChangeQueue changes;
  StdoutCapture out;
  auto when_readable = [&] {
    pollfd p{session.events.fd(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 30000), 1);
  };
  when_readable();
  int64_t start = k::monotonic_ms();
  EXPECT_EQ(event_receive(session, changes, false), 0);
  EXPECT_LT(k::monotonic_ms() - start, 30000);
  dropped.set_value();
  when_readable();
  EXPECT_EQ(event_receive(session, changes, false), 0);
  EXPECT_EQ(out.finish(), "\nEVENT 9:\n");
}

}  // namespace
