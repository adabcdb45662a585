#include "daemon/dispatch.h"

#include <gtest/gtest.h>

#include "engine/test_model.h"

namespace sim {
namespace {

TEST(DeviceParams, WrongShapesGiveInvalidParams) {
  const struct {
    const char* method;
    const char* params;
    const char* detail;
  } cases[] = {
      {"Reboot", R"({"Force":"yes"})", "expects Force (boolean) and DeviceMode (text), both optional"},
      {"Reboot", R"({"DeviceMode":1})", "expects Force (boolean) and DeviceMode (text), both optional"},
      {"FactoryReset", R"({"DeviceMode":null})", "expects DeviceMode (text), optional"},
      {"SaveConfig", R"({"RestorePointName":["a"]})", "expects RestorePointName (text), optional"},
      {"Select", "{}", "expects Selector (text)"},
      {"Select", R"({"Selector":3})", "expects Selector (text)"},
  };
  Engine engine(test::test_model_tree());
  for (const auto& c : cases) {
    std::optional<Reply> r = dispatch(engine, test::full_rights(), c.method, k::json_parse(c.params).get());
    ASSERT_TRUE(r) << c.method;
    EXPECT_EQ(std::to_string(r->fault.code) + " " + r->fault.detail, std::string("-32602 ") + c.detail) << c.method << " " << c.params;
  }
}

}  // namespace
}  // namespace sim
