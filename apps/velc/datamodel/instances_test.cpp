// Instance commands refused before any request, and the number of a new instance (what they
// send is covered end to end).
#include <gtest/gtest.h>

#include <optional>

#include "datamodel/instances.h"
#include "datamodel/test_support.h"

using namespace testing_support;

TEST(InstanceCommands, RefuseBeforeAnyRequestAndReportTheFirstInstance) {
  using Handler = int (*)(CommandContext&, const std::string&, json_t*);
  const std::tuple<Handler, const char*, std::vector<const char*>, int, const char*> cases[] = {
      {cmd_add, "touch", {"Nonexistent"}, -1, "touch: Nonexistent: no such node.\n"},
      {cmd_del, "rm", {"Device.Nope"}, -1, "rm: Device.Nope: no such node.\n"},
      // The number (unsigned 32-bit decimal) is checked first, even for a bad path.
      {cmd_order, "order", {"Nope", "4294967296"}, -1, "order: invalid order integer: 4294967296\n"},
      {cmd_order, "order", {"Nope", "0x10"}, -1, "order: invalid order integer: 0x10\n"},
      {cmd_order, "order", {"Nope", "1"}, -1, "order: Nope: no such node.\n"},
      // The first instance of a table is numbered 1, and reported like any other.
      {cmd_add, "add", {"Device.Hosts.Host"}, 1, "Instance number: 1\nStatus: OK\n"},
  };
  for (const auto& [handler, name, words, status, output] : cases) {
    TestClient t{kWithCache};
    std::optional<FakeVeld> veld;  // refusals are made with no veld behind the socket
    if (status > 0) veld.emplace(t.session, std::map<std::string, std::string>{});
    if (veld) veld->reply(R"(AddObject {"ObjectName":"Device.Hosts.Host."})", R"({"InstanceNumber":1})");
    EXPECT_EQ(t.run(handler, name, words), std::to_string(status) + " " + output);
  }
}
