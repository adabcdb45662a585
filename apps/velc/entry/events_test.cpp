// Messages arriving on the events connection.
#include "entry/events.h"

#include <gtest/gtest.h>

#include "entry/exchange.h"
#include "platform/test_peer.h"
#include "render/stdout_capture.h"

namespace {

using k::testing::Peer;
using k::testing::say;

TEST(EventReceive, PrintsQueuesIgnoresAndNoticesALostConnection) {
  Peer peer([](int fd) {
    say(fd, R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":0,"Data":{"x":1}}})" "\n");
    say(fd, R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":4,"Data":{"Action":"Add","Path":"Device.Hosts.Host.","InstanceNumber":7}}})" "\n");
    say(fd, R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":4,"Data":{"Action":"Delete","Path":"Device.Hosts.Host.3."}}})" "\n");
    say(fd, R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":9,"Data":{"text":"hi"}}})" "\n");
    say(fd, R"({"jsonrpc":"2.0","method":"Event","params":{"EventId":12}})" "\n");
  });
  k::Connection& events = events_handle();
  events.set_destination(peer.path());
  events.set_timeout(2000);
  ASSERT_EQ(events.connect(), 0);

  StdoutCapture out;
  for (int i = 0; i < 5; ++i) EXPECT_EQ(event_receive(), 0);
  EXPECT_EQ(event_receive(), -1);  // the peer has gone
  EXPECT_EQ(out.finish(),
            "\nEVENT 9:\n{\n    \"text\": \"hi\"\n}\n\nEVENT 12:\nConnection dropped\n");
  EXPECT_FALSE(running_flag);
  running_flag = true;

  // Only the complete change event was queued; taking the queue empties it.
  k::Json changes = take_pending_changes();
  ASSERT_EQ(json_array_size(changes.get()), 1u);
  EXPECT_EQ(k::json_text(json_array_get(changes.get(), 0), "Action"), "Add");
  EXPECT_FALSE(take_pending_changes());
}

}  // namespace
