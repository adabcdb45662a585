// attr against a fake veld: the path each node is asked by, the fallback to the cache, the root,
// and the request form's reports of odd answers (the ordinary cases are covered end to end).
#include <gtest/gtest.h>

#include "datamodel/attributes.h"
#include "datamodel/test_support.h"

using namespace testing_support;

static std::string asked(const std::string& names) { return R"(GetParameterAttributes {"ParameterNames":)" + names + R"(,"Depth":0})"; }

TEST(Attr, AsksByTheNodesSpellingAndFallsBackToTheCache) {
  TestClient t{kWithCache};
  // An answer without attributes counts as none: the cached ones are shown, in the cached base.
  FakeVeld veld(t.session, {{asked(R"(["Device.Time.Mode"])"), R"([{"Name":"Device.Time.Mode"}])"}});
  const struct { const char* path; int result; const char* report; Strings sent; } cases[] = {
      {"Device.Time.Mode", 0, "Canonical path:     :Device.Time.Mode\nType:               unsignedInt\n"
       "Base:               octal\nDefault:            00\n", {asked(R"(["Device.Time.Mode"])")}},
      {"Device.Hosts", 0, "Canonical path:     :Device.Hosts.\nType:               object\n",
       {asked(R"(["Device.Hosts."])")}}, {nullptr, -1,  // the root is no node of veld's
       "Canonical path:     :\nType:               config root\nConst:              true\n", {}},
  };
  for (const auto& c : cases) {
    int result = 0;
    EXPECT_EQ(output_of([&] { result = attr_show(t.client, "attr", c.path); }), c.report);
    EXPECT_EQ(result, c.result) << c.report;
    EXPECT_EQ(veld.take_requests(), c.sent) << c.report;
  }
  TestClient request_mode;  // no cache: the paths go as typed, one request
  FakeVeld veld2(request_mode.session, {{asked(R"(["device.x","Device.Y"])"),
      R"([{"Name":"Device.X","Attributes":{"type":"int","base":16,"default":16}},
          {"Attributes":{"type":"int"}}, {"Name":"Device.Z"}, 5, {"Name":"Device.Y.","Attributes":{}}])"}});
  EXPECT_EQ(request_mode.run(cmd_attr_request, "attr", {"device.x", "Device.Y"}),
            "0 Canonical path:     :Device.X\nType:               int\n"
            "Base:               hex\nDefault:            0x10\n\nattr parse error on 1:6 : Object item not found: type\n"
            "Canonical path:     :Device.Y.\nType:               (none)\n\n");
  EXPECT_EQ(veld2.take_requests().size(), 1u);
}
