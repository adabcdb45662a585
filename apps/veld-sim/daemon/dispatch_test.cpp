#include "daemon/dispatch.h"

#include <gtest/gtest.h>

#include "engine/test_model.h"

namespace sim {
namespace {

TEST(DeviceParams, WrongShapesGiveInvalidParams) {
  const struct {
    EngineMethod method;
    const char* params;
    const char* detail;
  } cases[] = {
      {reboot, R"({"Force":"yes"})", "expects Force (boolean) and DeviceMode (text), both optional"},
      {reboot, R"({"DeviceMode":1})", "expects Force (boolean) and DeviceMode (text), both optional"},
      {factory_reset, R"({"DeviceMode":null})", "expects DeviceMode (text), optional"},
      {save_config, R"({"RestorePointName":["a"]})", "expects RestorePointName (text), optional"},
      {select, "{}", "expects Selector (text)"},
      {select, R"({"Selector":3})", "expects Selector (text)"},
  };
  Engine engine(test::test_model_tree());
  for (const auto& c : cases) {
    Reply r = c.method(engine, test::full_rights(), k::json_parse(c.params).get());
    EXPECT_EQ(std::to_string(r.fault.code) + " " + r.fault.detail, std::string("-32602 ") + c.detail)
        << c.params;
  }
}

}  // namespace
}  // namespace sim
