// select: the selector sent, and each selected node drawn as a values tree under its base path.
#include "datamodel/select.h"

#include <gtest/gtest.h>

#include "datamodel/test_support.h"

using namespace testing_support;

// The words are joined by blanks; values are drawn in their parameter's base, from the cache.
TEST(SelectCommand, SendsTheJoinedSelectorAndDrawsEachSelection) {
  TestClient t{kWithCache};
  const std::string request = R"(Select {"Selector":"Device.Hosts.Host.[Flags!=0 & HostName!=x]."})";
  FakeVeld veld(t.session);
  veld.reply(request, R"({"Selection":{"Device.Hosts.Host.1.":{"HostName":"pc","Flags":255},)"
                      R"("Device.Hosts.Host.2.":{"Flags":16}}})");
  EXPECT_EQ(t.run(cmd_select, "select", {"Device.Hosts.Host.[Flags!=0", "&", "HostName!=x]."}),
            "0 Device.Hosts.Host.1.\n├── Flags    = 0xff\n└── HostName = 'pc'\nDevice.Hosts.Host.2.\n└── Flags = 0x10\n");
  EXPECT_EQ(veld.take_requests(), Strings{request});
}
