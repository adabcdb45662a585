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

}  // namespace
