// The data-model commands on the fixture cache, where they decide without asking veld: set's
// conversions and assignments, instance commands refused before any request, and navigation.
// (What they send, and request mode, are covered end to end.)
#include <gtest/gtest.h>

#include "datamodel/set.h"
#include "datamodel/test_support.h"
#include "datamodel/value_from_text.h"
#include "shell/command_handlers.h"
#include "shell/prompt.h"

using testing_support::args;
using testing_support::load_schema;
using testing_support::output_of;

namespace {

TEST(ValueFromText, ConvertsByTheDefaultsType) {
  const std::tuple<json_type, const char*, const char*> cases[] = {  // expected: null = rejected
      {JSON_STRING, "", "\"\""}, {JSON_STRING, "bad\xff", nullptr},
      // Integers: signed 32-bit first, then unsigned 32-bit; the base from the prefix.
      {JSON_INTEGER, "0x10", "16"}, {JSON_INTEGER, "-2147483648", "-2147483648"},
      {JSON_INTEGER, "4294967295", "4294967295"}, {JSON_INTEGER, "4294967296", nullptr},
      {JSON_INTEGER, "12abc", nullptr}, {JSON_REAL, "-1e3", "-1000.0"},
      {JSON_REAL, "2.5x", nullptr}, {JSON_REAL, "nan", nullptr},
      // Booleans: "true"/"false" in any case, whichever the default.
      {JSON_FALSE, "TRUE", "true"}, {JSON_TRUE, "False", "false"}, {JSON_TRUE, "1", nullptr},
      {JSON_TRUE, "falsey", nullptr}, {JSON_OBJECT, "{}", nullptr},
  };
  for (const auto& [type, text, expected] : cases) {
    k::Json value = value_from_text(text, type);
    EXPECT_EQ(value ? k::json_dump(value.get(), JSON_ENCODE_ANY | JSON_COMPACT) : "rejected",
              expected ? expected : "rejected")
        << text;
  }
}

// What is accepted (case folding, "a=b", booleans and hexadecimal are covered end to end), and
// every reason for a refusal.
TEST(SetCollect, ResolvesConvertsAndReportsRejectedAssignments) {
  load_schema();
  k::Json list;
  k::Json a = args({"Device.DeviceInfo.Temperature=2", "Device.Hosts.Host.*.HostName="});
  EXPECT_EQ(output_of([&] { list = set_collect("set", a.get()); }),
            "key = Device.DeviceInfo.Temperature, value = 2\n"
            "key = Device.Hosts.Host.*.HostName, value = \n");
  EXPECT_EQ(k::json_dump(list.get(), JSON_COMPACT),
            R"([{"Name":"Device.DeviceInfo.Temperature","Value":2.0},)"
            R"({"Name":"Device.Hosts.Host.#template.HostName","Value":""}])");

  a = args({"Nope=1", "Device.DeviceInfo.UpgradeProgress=4294967296", "Device.DeviceInfo=1",
            "Device.Time.Mask=1", "Device.DeviceInfo.ModelName"});
  EXPECT_EQ(output_of([&] { list = set_collect("put", a.get()); }),
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

TEST(InstanceCommands, RefuseBeforeAnyRequest) {
  using Handler = int (*)(const std::string&, json_t*);
  const std::tuple<Handler, const char*, std::vector<const char*>, const char*> cases[] = {
      {cmd_add, "touch", {"Nonexistent"}, "touch: Nonexistent: no such node.\n"},
      {cmd_del, "rm", {"Device.Nope"}, "rm: Device.Nope: no such node.\n"},
      {cmd_order, "order", {"Nope", "1"}, "order: Nope: no such node.\n"},
      // The number (unsigned 32-bit decimal) is checked first, even for a bad path.
      {cmd_order, "order", {"Nope", "4294967296"}, "order: invalid order integer: 4294967296\n"},
      {cmd_order, "order", {"Nope", "0x10"}, "order: invalid order integer: 0x10\n"},
  };
  for (const auto& [handler, name, words, output] : cases) {
    load_schema();
    k::Json a = args(words);
    int result = 0;
    EXPECT_EQ(output_of([&] { result = handler(name, a.get()); }), output);
    EXPECT_EQ(result, -1) << output;
  }
}

// cd and pwd on the ordinary paths, and up 9, are covered end to end.
TEST(Navigation, CdUpAndThePreviousPosition) {
  load_schema();
  struct {
    int (*handler)(const std::string&, json_t*);
    std::vector<const char*> words;
    int result;
    const char* output;
    const char* current;
    const char* previous;
  } steps[] = {
      {cmd_cd, {"Device.Hosts.Host"}, 0, "", "Device.Hosts.Host", ""},
      {cmd_cd, {"<<.deviceinfo"}, 0, "", "Device.DeviceInfo", "Device.Hosts.Host"},
      {cmd_cd, {"Nonexistent"}, -2, "cd: Nonexistent: no such node\n", "Device.DeviceInfo",
       "Device.Hosts.Host"},
      {cmd_cd, {"a", "b"}, -1, "syntax: cd [<path>]", "Device.DeviceInfo", "Device.Hosts.Host"},
      {cmd_cd, {"-"}, 0, ":Device.Hosts.Host\n", "Device.Hosts.Host", "Device.DeviceInfo"},
      // up: a number of levels (0 or no number: one), capped at the root; cd "" when negative.
      {cmd_up, {"x"}, 0, "", "Device.Hosts", "Device.Hosts.Host"},
      {cmd_up, {"-2"}, 0, "", "Device.Hosts", "Device.Hosts"},
      {cmd_up, {"0"}, 0, "", "Device", "Device.Hosts"},
      {cmd_up, {"99999999999999999999"}, 0, "", "", "Device"},
      {cmd_pwd, {}, 0, ":\n", "", "Device"},
  };
  for (const auto& s : steps) {
    k::Json a = args(s.words);
    int result = 0;
    std::string label = s.words.empty() ? "-" : s.words[0];
    EXPECT_EQ(output_of([&] { result = s.handler("cd", a.get()); }), s.output) << label;
    EXPECT_EQ(result, s.result) << label;
    EXPECT_EQ(current_path.text, s.current) << label;
    EXPECT_EQ(previous_path.text, s.previous) << label;
    EXPECT_EQ(prompt_text(), std::string("velc:") + s.current + "> ") << label;
  }
  EXPECT_EQ(current_path.node, schema_root.get());
}

}  // namespace
