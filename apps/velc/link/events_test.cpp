// Changes of the data model arriving on the events connection (their printing is seen end to
// end).
#include "link/events.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

}  // namespace
