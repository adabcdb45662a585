// attr and info against a fake veld: the path each node is asked by, the fallback to the cache,
// the root, and the request form's reports (the ordinary cases, several paths and refusals are
// covered end to end).
#include <gtest/gtest.h>

#include "datamodel/attributes.h"
#include "datamodel/test_support.h"

using testing_support::args;
using testing_support::FakeVeld;
using testing_support::Strings;
using testing_support::TestClient;

namespace {

std::string asked(const std::string& names) {
  return R"(GetParameterAttributes {"ParameterNames":)" + names + R"(,"Depth":0})";
}

TEST(AttrShow, AsksByTheNodesSpellingAndFallsBackToTheCache) {
  TestClient t;
  t.load_schema();
  // An answer without attributes counts as none.
  FakeVeld veld(t.session, {{asked(R"(["Device.Hosts."])"), R"([{"Name":"Device.Hosts."}])"}});
  const struct {
    const char* path;
    int result;
    const char* report;
    Strings sent;
  } cases[] = {
      // Refused: the cached attributes are shown, in the cached base; a method has no dot.
      {"Device.IP.Ping", 0, "Canonical path:     :Device.IP.Ping\nType:               method\n",
       {asked(R"(["Device.IP.Ping"])")}},
      {"Device.Time.Mode", 0,
       "Canonical path:     :Device.Time.Mode\nType:               unsignedInt\n"
       "Base:               octal\nDefault:            00\n",
       {asked(R"(["Device.Time.Mode"])")}},
      {"Device.Hosts", 0, "Canonical path:     :Device.Hosts.\nType:               object\n",
       {asked(R"(["Device.Hosts."])")}},
      // The root is no node of veld's.
      {nullptr, -1,
       "Canonical path:     :\nType:               config root\nConst:              true\n", {}},
  };
  for (const auto& c : cases) {
    int result = 0;
    const char* label = c.path ? c.path : "(none)";
    EXPECT_EQ(output_of([&] { result = attr_show(t.client, "attr", c.path); }), c.report) << label;
    EXPECT_EQ(result, c.result) << label;
    EXPECT_EQ(veld.take_requests(), c.sent) << label;
  }
}

TEST(CmdAttrRequest, SendsThePathsAsTypedAndReportsEveryUsableNode) {
  TestClient t;  // no cache: request mode
  FakeVeld veld(t.session,
                {{asked(R"(["device.x","Device.Y"])"),
                  R"([{"Name":"Device.X","Attributes":{"type":"int","base":16,"default":16}},
                      {"Attributes":{"type":"int"}}, {"Name":"Device.Z"}, 5,
                      {"Name":"Device.Y.","Attributes":{}}])"}});
  int result = 0;
  k::Json a = args({"device.x", "Device.Y"});
  EXPECT_EQ(output_of([&] { result = cmd_attr_request(t.client, "attr", a.get()); }),
            "Canonical path:     :Device.X\nType:               int\n"
            "Base:               hex\nDefault:            0x10\n\n"
            "attr parse error on 1:6 : Object item not found: type\n"
            "Canonical path:     :Device.Y.\nType:               (none)\n\n");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(veld.take_requests(), Strings{asked(R"(["device.x","Device.Y"])")});
}

}  // namespace
