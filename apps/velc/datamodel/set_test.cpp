// set on the fixture cache, where it decides without asking veld (what it sends is covered end
// to end).
#include <gtest/gtest.h>

#include "datamodel/set.h"
#include "datamodel/test_support.h"

using testing_support::args;
using testing_support::TestClient;

namespace {

// What is accepted (case folding, "a=b", booleans and hexadecimal are covered end to end), and
// every reason for a refusal.
TEST(SetCollect, ResolvesConvertsAndReportsRejectedAssignments) {
  TestClient t;
  t.load_schema();
  k::Json list;
  k::Json a = args({"Device.DeviceInfo.Temperature=2", "Device.Hosts.Host.*.HostName="});
  EXPECT_EQ(output_of([&] { list = set_collect(t.client, "set", a.get()); }),
            "key = Device.DeviceInfo.Temperature, value = 2\n"
            "key = Device.Hosts.Host.*.HostName, value = \n");
  EXPECT_EQ(k::json_dump(list.get(), JSON_COMPACT),
            R"([{"Name":"Device.DeviceInfo.Temperature","Value":2.0},)"
            R"({"Name":"Device.Hosts.Host.#template.HostName","Value":""}])");

  a = args({"Nope=1", "Device.DeviceInfo.UpgradeProgress=4294967296", "Device.DeviceInfo=1",
            "Device.Time.Mask=1", "Device.DeviceInfo.ModelName"});
  EXPECT_EQ(output_of([&] { list = set_collect(t.client, "put", a.get()); }),
            "key = Nope, value = 1\nput: Nope: no such node.\n"
            "key = Device.DeviceInfo.UpgradeProgress, value = 4294967296\n"
            "put: Device.DeviceInfo.UpgradeProgress: invalid value 4294967296.\n"
            "key = Device.DeviceInfo, value = 1\n"
            "put: Device.DeviceInfo: is an object or doesn't have default value.\n"
            "key = Device.Time.Mask, value = 1\n"
            "put: Device.Time.Mask: is an object or doesn't have default value.\n"
            "put: Device.DeviceInfo.ModelName: no value.\nput: no argument.\n");
  EXPECT_FALSE(list);
}

}  // namespace
