// cd, up and pwd on the fixture cache: the position, the previous position and the messages.
// (cd and pwd on the ordinary paths, and up 9, are covered end to end.)
#include <gtest/gtest.h>

#include "datamodel/navigation.h"
#include "datamodel/test_support.h"

using namespace testing_support;

TEST(Navigation, CdUpAndThePreviousPosition) {
  TestClient t{kWithCache};
  const struct { int (*handler)(CommandContext&, const std::string&, json_t*); std::vector<const char*> words; int result;
                 const char* output; const char* current_and_previous; } steps[] = {
      {cmd_cd, {"Device.Hosts.Host"}, 0, "", "Device.Hosts.Host|"},
      {cmd_cd, {"<<.deviceinfo"}, 0, "", "Device.DeviceInfo|Device.Hosts.Host"},
      {cmd_cd, {"Nonexistent"}, -2, "cd: Nonexistent: no such node\n", "Device.DeviceInfo|Device.Hosts.Host"},
      {cmd_cd, {"a", "b"}, -1, "syntax: cd [<path>]", "Device.DeviceInfo|Device.Hosts.Host"},
      {cmd_cd, {"-"}, 0, ":Device.Hosts.Host\n", "Device.Hosts.Host|Device.DeviceInfo"},
      // up: a number of levels (0 or no number: one), capped at the root; cd "" when negative.
      {cmd_up, {"x"}, 0, "", "Device.Hosts|Device.Hosts.Host"}, {cmd_up, {"-2"}, 0, "", "Device.Hosts|Device.Hosts"},
      {cmd_up, {"0"}, 0, "", "Device|Device.Hosts"}, {cmd_up, {"99999999999999999999"}, 0, "", "|Device"},
      {cmd_pwd, {}, 0, ":\n", "|Device"},
  };
  for (const auto& s : steps) {
    std::string outcome = t.run(s.handler, "cd", s.words) + "|" + t.view.current_path.text + "|" + t.view.previous_path.text;
    EXPECT_EQ(outcome, std::to_string(s.result) + " " + s.output + "|" + s.current_and_previous);
  }
  EXPECT_EQ(t.view.current_path.node, t.view.schema_root);
}
