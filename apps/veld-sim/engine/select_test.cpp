#include <gtest/gtest.h>

#include "engine/engine.h"
#include "engine/test_model.h"

namespace sim {
namespace {

// The Selection as compact JSON, or the fault's code and detail.
std::string selected(const Reply& r) {
  return r.ok() ? k::json_dump(json_object_get(r.result.get(), "Selection"), JSON_COMPACT)
                : std::to_string(r.fault.code) + " " + r.fault.detail;
}

TEST(Select, GathersTheReadableConfigurationASelectorNames) {
  const struct {
    const char* selector;
    const char* outcome;  // the Selection as compact JSON, or the fault's code and detail
  } cases[] = {
      {"Device.Host.*.Name", R"({"Device.Host.1.":{"Name":"a"},"Device.Host.3.":{"Name":"c"}})"},
      {"Device.Host.[Up=true].", R"({"Device.Host.1.":{"Name":"a","Up":true,"Addr":{"1":{"IP":"10.0.0.1"}}}})"},
      // A condition through a nested instance: an instance lacking it matches neither = nor !=.
      {"Device.Host.[Addr.1.IP=10.0.0.1].Name", R"({"Device.Host.1.":{"Name":"a"}})"},
      {"Device.Host.[Addr.1.IP!=10.0.0.1].Name", "{}"},
      // Instances in the table's order; numbers and booleans compared in their text form.
      {"Device.Rule.*.Port", R"({"Device.Rule.3.":{"Port":443},"Device.Rule.1.":{"Port":22},"Device.Rule.2.":{"Port":80}})"},
      {"Device.Rule.[Port=80].", R"({"Device.Rule.2.":{"Port":80}})"},
      // Parameters of one parent share its member.
      {"Device.Level", R"({"Device.":{"Level":5}})"},
      // No methods, no pseudo-parameters; computed values as they read now.
      {"Device.",
       R"({"Device.":{"Name":"box","Serial":"S1","Model":"M","Level":5,"Secret":"","HostCount":2,)"
       R"("Host":{"1":{"Name":"a","Up":true,"Addr":{"1":{"IP":"10.0.0.1"}}},"3":{"Name":"c","Up":false,"Addr":{}}},)"
       R"("Rule":{"3":{"Port":443},"1":{"Port":22},"2":{"Port":80}},"Fixed":{"1":{"X":0}},)"
       R"("CurrentUser":"tester","SystemAccess":true}})"},
      // Elements that name nothing, found in the schema even where no instance exists.
      {"Device.Host.5.", "9005 Device.Host.5: no such node"},
      {"Device.Host.*.Nope", "9005 Device.Host.*.Nope: no such node"},
      {"Device.Host.[Nope=1].", "9005 Device.Host.[Nope=1]: Nope: no such parameter in the instances"},
      {"Device.*.Name", "9005 Device.*: \"*\" and \"[...]\" stand for the instances of a table"},
      {"Device.Ping", "9005 Device.Ping: a method, not configuration"},
      {"Device.Host.*", "9005 Device.Host.*: an object: its path ends with a dot"},
      {"Device.Level.", "9005 Device.Level.: not an object: a parameter's path has no trailing dot"},
      {"Device.Host.[Up=true", "9003 Device.Host.[Up=true: \"[\" without \"]\" at character 13"},
  };
  Engine engine(test::test_model_tree());
  for (const auto& c : cases) {
    EXPECT_EQ(selected(engine.select(test::full_rights(), c.selector)), c.outcome) << c.selector;
  }
}

// What the caller may not read is not selected: left out below a wildcard or an object, refused
// when named outright; a guest has no user name to select.
TEST(Select, LeavesOutWhatTheCallerMayNotRead) {
  Caller limited;
  limited.user = "lim";
  std::string error;
  ASSERT_TRUE(parse_rights(
      k::json_parse(R"({"Device.Host.": "r", "Device.Host.3.": "", "Device.Host.1.Up": "", "Device.CurrentUser": "r"})").get(),
      limited.rights, error)) << error;
  Caller guest = limited;
  guest.user.clear();
  const struct {
    const Caller& caller;
    const char* selector;
    const char* outcome;
  } cases[] = {
      {limited, "Device.Host.*.Name", R"({"Device.Host.1.":{"Name":"a"}})"},
      // A condition on a parameter the caller may not read holds for no instance, = or !=.
      {limited, "Device.Host.[Up=true].Name", "{}"},
      {limited, "Device.Host.[Up!=false].Name", "{}"},
      {limited, "Device.CurrentUser", R"({"Device.":{"CurrentUser":"lim"}})"},
      {guest, "Device.CurrentUser", "9001 Device.CurrentUser: no right to read"},
      {limited, "Device.Name", "9001 Device.Name: no right to read"},
  };
  Engine engine(test::test_model_tree());
  for (const auto& c : cases) {
    EXPECT_EQ(selected(engine.select(c.caller, c.selector)), c.outcome) << c.selector;
  }
}

}  // namespace
}  // namespace sim
