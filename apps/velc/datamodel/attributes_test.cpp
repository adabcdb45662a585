// attr and info against a fake veld: the path each node is asked by, the fallback to the cache,
// the root, and the request form's pass-through.
#include <gtest/gtest.h>

#include "datamodel/attributes.h"
#include "datamodel/resolve.h"
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
  FakeVeld veld(t.session,
                {{asked(R"(["Device.DeviceInfo.Manufacturer"])"),
                  R"([{"Name":"Device.DeviceInfo.Manufacturer",
                       "Attributes":{"type":"string","const":true,"default":"Acme"}}])"},
                 {asked(R"(["Device.DeviceInfo."])"),
                  R"([{"Name":"Device.DeviceInfo.","Attributes":{"type":"object"}}])"},
                 // An answer without attributes counts as none.
                 {asked(R"(["Device.Hosts."])"), R"([{"Name":"Device.Hosts."}])"}});
  const struct {
    const char* path;
    int result;
    const char* report;
    Strings sent;
  } cases[] = {
      // A parameter is asked for without a trailing dot, an object with one, a method without.
      {"Device.DeviceInfo.Manufacturer", 0,
       "Canonical path:     :Device.DeviceInfo.Manufacturer\nType:               string\n"
       "Const:              true\nDefault:            'Acme'\n",
       {asked(R"(["Device.DeviceInfo.Manufacturer"])")}},
      {"device.deviceinfo", 0, "Canonical path:     :Device.DeviceInfo.\nType:               object\n",
       {asked(R"(["Device.DeviceInfo."])")}},
      // Refused: the cached attributes are shown, in the cached base.
      {"Device.IP.Ping", 0, "Canonical path:     :Device.IP.Ping\nType:               method\n",
       {asked(R"(["Device.IP.Ping"])")}},
      {"Device.Time.Mode", 0,
       "Canonical path:     :Device.Time.Mode\nType:               unsignedInt\n"
       "Base:               octal\nDefault:            00\n",
       {asked(R"(["Device.Time.Mode"])")}},
      {"Device.Hosts", 0, "Canonical path:     :Device.Hosts.\nType:               object\n",
       {asked(R"(["Device.Hosts."])")}},
      {"Device.Nope", -1, "attr: Device.Nope: no such node\n", {}},
      // The root is no node of veld's.
      {":", -1,
       "Canonical path:     :\nType:               config root\nConst:              true\n", {}},
      {nullptr, -1,
       "Canonical path:     :\nType:               config root\nConst:              true\n", {}},
  };
  for (const auto& c : cases) {
    int result = 0;
    EXPECT_EQ(output_of([&] { result = attr_show(t.client, "attr", c.path); }), c.report)
        << (c.path ? c.path : "(none)");
    EXPECT_EQ(result, c.result) << (c.path ? c.path : "(none)");
    EXPECT_EQ(veld.take_requests(), c.sent) << (c.path ? c.path : "(none)");
  }
}

TEST(CmdAttr, SeveralPathsAreEachHeadedAndFollowedByABlankLine) {
  TestClient t;
  t.load_schema();
  ASSERT_EQ(cdpath_resolve(t.client, t.view.current_path, "Device.Time"), 0);
  int result = 0;
  k::Json a = args({"Nope", "<"});
  EXPECT_EQ(output_of([&] { result = cmd_attr(t.client, "info", a.get()); }),
            "Nope:\ninfo: Nope: no such node\n\n"
            "<:\nCanonical path:     :Device.\nType:               object\n\n");
  EXPECT_EQ(result, 0);
  // One path gives its own result; none reports the current position.
  a = args({"Nope"});
  EXPECT_EQ(output_of([&] { result = cmd_attr(t.client, "attr", a.get()); }),
            "attr: Nope: no such node\n");
  EXPECT_EQ(result, -1);
  a = args({});
  EXPECT_EQ(output_of([&] { result = cmd_attr(t.client, "attr", a.get()); }),
            "Canonical path:     :Device.Time.\nType:               object\n");
  EXPECT_EQ(result, 0);
}

TEST(CmdAttrRequest, SendsThePathsAsTypedAndReportsEveryUsableNode) {
  TestClient t;  // no cache: request mode
  FakeVeld veld(t.session,
                {{asked(R"(["device.x","Device.Y"])"),
                  R"([{"Name":"Device.X","Attributes":{"type":"int","base":16,"default":16}},
                      {"Attributes":{"type":"int"}}, {"Name":"Device.Z"}, 5,
                      {"Name":"Device.Y.","Attributes":{}}])"},
                 {asked(R"(["device.x"])"),
                  R"([{"Name":"Device.X","Attributes":{"type":"int"}}])"}});
  int result = 0;
  k::Json a = args({"device.x", "Device.Y"});
  EXPECT_EQ(output_of([&] { result = cmd_attr_request(t.client, "attr", a.get()); }),
            "Canonical path:     :Device.X\nType:               int\n"
            "Base:               hex\nDefault:            0x10\n\n"
            "attr parse error on 1:6 : Object item not found: type\n"
            "Canonical path:     :Device.Y.\nType:               (none)\n\n");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(veld.take_requests(), Strings{asked(R"(["device.x","Device.Y"])")});

  // A refusal keeps standard output to its one line; standard error tells which path failed
  // and why: with several paths, each is asked alone to find it.
  const struct {
    std::vector<const char*> paths;
    const char* why;
    Strings sent;
  } refusals[] = {
      {{"Device.Nope"}, "GetParameterAttributes: Device.Nope: [9005] Invalid parameter name\n",
       {asked(R"(["Device.Nope"])")}},
      {{"device.x", "Device.Nope"},
       "GetParameterAttributes: Device.Nope: [9005] Invalid parameter name\n",
       {asked(R"(["device.x","Device.Nope"])"), asked(R"(["device.x"])"),
        asked(R"(["Device.Nope"])")}},
  };
  for (const auto& r : refusals) {
    a = args(r.paths);
    StdoutCapture err(stderr);
    EXPECT_EQ(output_of([&] {
                result = cmd_attr_request(t.client, "GetParameterAttributes", a.get());
              }),
              "GetParameterAttributes: ERROR\n");
    EXPECT_EQ(err.finish(), r.why);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(veld.take_requests(), r.sent);
  }
}

}  // namespace
