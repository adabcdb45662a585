// Instance commands refused before any request (what they send is covered end to end).
#include <gtest/gtest.h>

#include "datamodel/instances.h"
#include "datamodel/test_support.h"

using testing_support::args;
using testing_support::TestClient;

namespace {

TEST(InstanceCommands, RefuseBeforeAnyRequest) {
  using Handler = int (*)(CommandContext&, const std::string&, json_t*);
  const std::tuple<Handler, const char*, std::vector<const char*>, const char*> cases[] = {
      {cmd_add, "touch", {"Nonexistent"}, "touch: Nonexistent: no such node.\n"},
      {cmd_del, "rm", {"Device.Nope"}, "rm: Device.Nope: no such node.\n"},
      {cmd_order, "order", {"Nope", "1"}, "order: Nope: no such node.\n"},
      // The number (unsigned 32-bit decimal) is checked first, even for a bad path.
      {cmd_order, "order", {"Nope", "4294967296"}, "order: invalid order integer: 4294967296\n"},
      {cmd_order, "order", {"Nope", "0x10"}, "order: invalid order integer: 0x10\n"},
  };
  for (const auto& [handler, name, words, output] : cases) {
    TestClient t;
    t.load_schema();
    k::Json a = args(words);
    int result = 0;
    EXPECT_EQ(output_of([&] { result = handler(t.client, name, a.get()); }), output);
    EXPECT_EQ(result, -1) << output;
  }
}

// The first instance of a table is numbered 1, and reported like any other.
TEST(InstanceCommands, AddReportsTheNewInstanceNumber) {
  TestClient t;
  t.load_schema();
  testing_support::FakeVeld veld(t.session);
  veld.reply(R"(AddObject {"ObjectName":"Device.Hosts.Host."})", R"({"InstanceNumber":1})");
  k::Json a = args({"Device.Hosts.Host"});
  int result = -1;
  EXPECT_EQ(output_of([&] { result = cmd_add(t.client, "add", a.get()); }),
            "Instance number: 1\nStatus: OK\n");
  EXPECT_EQ(result, 1);
}

}  // namespace
