// select: the selector sent, and each selected node drawn as a values tree under its base path.
#include "datamodel/select.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datamodel/test_support.h"
#include "testing/test_peer.h"

namespace {

using Strings = std::vector<std::string>;
using testing_support::args;

TEST(SelectCommand, SendsTheJoinedSelectorAndDrawsEachSelection) {
  const struct {
    std::vector<const char*> words;
    const char* reply;  // to the Select of the joined words
    int status;
    const char* printed;
  } cases[] = {
      // Values in their parameter's base, from the schema cache.
      {{"Device.Hosts.Host.[Flags!=0", "&", "HostName!=x].", ""},
       R"({"Selection":{"Device.Hosts.Host.1.":{"HostName":"pc","Flags":255},)"
       R"("Device.Hosts.Host.2.":{"HostName":"tv","Flags":16}}})",
       0,
       "Device.Hosts.Host.1.\n├── Flags    = 0xff\n└── HostName = 'pc'\n"
       "Device.Hosts.Host.2.\n├── Flags    = 0x10\n└── HostName = 'tv'\n"},
      {{"Device.IP.Interface.*.Enable"},
       R"({"Selection":{"Device.IP.":{"Interface":{"1":{"Enable":true},"2":{"Enable":false}}}}})",
       0,
       "Device.IP.\n└── Interface\n    ├── 1\n    │   └── Enable = true\n"
       "    └── 2\n        └── Enable = false\n"},
      {{"Device.Hosts.Host.[HostName"},
       R"({"code":9003,"message":"Invalid arguments","detail":"a condition ends early"})", -1,
       "[9003] Invalid arguments: a condition ends early\n"},
  };
  for (const auto& c : cases) {
    std::string selector;
    for (const char* w : c.words) selector += (selector.empty() ? "" : " ") + std::string(w);
    k::test::ScriptedDaemon daemon;
    std::string request = R"(Select {"Selector":")" + selector + R"("})";
    daemon.reply(request, c.reply);
    testing_support::TestClient t;
    t.load_schema();
    t.session.requests.set_destination(daemon.path());
    k::Json a = args(c.words);
    int status = 0;
    EXPECT_EQ(output_of([&] { status = cmd_select(t.client, "select", a.get()); }), c.printed)
        << selector;
    EXPECT_EQ(status, c.status) << selector;
    EXPECT_EQ(daemon.take_requests(), Strings{request}) << selector;
  }
}

}  // namespace
