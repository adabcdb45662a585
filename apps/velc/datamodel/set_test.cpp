// set on the fixture cache, where it decides without asking veld (what it sends is covered end
// to end), and without a cache, where veld describes each parameter.
#include <gtest/gtest.h>

#include "datamodel/set.h"
#include "datamodel/test_support.h"

using namespace testing_support;

// What is accepted (case folding, "a=b", booleans and hexadecimal are covered end to end), and
// every reason for a refusal.
TEST(SetCollect, ResolvesConvertsAndReportsRejectedAssignments) {
  TestClient t{kWithCache};
  k::Json list;
  k::Json a = args({"Device.DeviceInfo.Temperature=2", "Device.Hosts.Host.*.HostName="});
  EXPECT_EQ(output_of([&] { list = set_collect(t.client, "set", a.get()); }),
            "key = Device.DeviceInfo.Temperature, value = 2\nkey = Device.Hosts.Host.*.HostName, value = \n");
  EXPECT_EQ(k::json_dump(list.get(), JSON_COMPACT),
            R"([{"Name":"Device.DeviceInfo.Temperature","Value":2.0},)"
            R"({"Name":"Device.Hosts.Host.#template.HostName","Value":""}])");
  a = args({"Nope=1", "Device.DeviceInfo.ModelName"});  // conversions are shared with execute
  EXPECT_EQ(output_of([&] { list = set_collect(t.client, "put", a.get()); }),
            "key = Nope, value = 1\nput: Nope: no such node.\n"
            "put: Device.DeviceInfo.ModelName: no value.\nput: no argument.\n");
  EXPECT_FALSE(list);
}

// Without a cache (request mode, scripts) each value is converted by the type veld describes,
// and one refused assignment keeps all from being sent; under the method's name they go raw.
TEST(SetRequestForm, ConvertsByTheTypeVeldDescribes) {
  TestClient t;  // no cache
  auto describe = [](const std::string& path) { return R"(GetParameterAttributes {"ParameterNames":[")" + path + R"("],"Depth":0})"; };
  auto described = [](const std::string& path, const char* type) {
    return R"([{"Name":")" + path + R"(","Attributes":{"type":")" + type + R"(","default":0}}])";
  };
  const std::string raw_set = R"(RawSetParameterValues {"ParameterList":[{"Name":"Device.X.Port","Value":5}]})";
  FakeVeld veld(t.session, {{describe("Device.X.Port"), described("Device.X.Port", "unsignedInt")},
                            {describe("Device.X.Host"), described("Device.X.Host", "string")},
                            {describe("Device.X."), described("Device.X.", "object")},
                            {raw_set, "[]"}});
  const struct { std::string word; std::vector<const char*> words; int result; std::string output; Strings sent; } cases[] = {
      {"SetParameterValues", {"Device.X.Port=5"}, 0, "key = Device.X.Port, value = 5\nStatus: OK\n",
       {describe("Device.X.Port"), raw_set}},
      {"set", {"Device.X.Port=5", "Device.X.Port=x"}, -1, "key = Device.X.Port, value = 5\nkey = Device.X.Port, value = x\n"
       "set: Device.X.Port: invalid value x.\nset: 1 of 2 assignments refused, nothing sent.\n",
       {describe("Device.X.Port"), describe("Device.X.Port")}},
      {"set", {"Device.X.Port", "Device.Nope=1", "Device.X.=1", R"(Device.X.Host="x)"}, -1,
       "set: Device.X.Port: no value.\nkey = Device.Nope, value = 1\nset: Device.Nope: no such node.\n"
       "key = Device.X., value = 1\nset: Device.X.: is an object or doesn't have default value.\n"
       "key = Device.X.Host, value = \"x\nset: Device.X.Host: invalid value \"x.\nset: no argument.\n",
       {describe("Device.Nope"), describe("Device.X."), describe("Device.X.Host")}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(t.run(cmd_set, c.word, c.words), std::to_string(c.result) + " " + c.output) << c.words[0];
    EXPECT_EQ(veld.take_requests(), c.sent) << c.words[0];
  }
}
