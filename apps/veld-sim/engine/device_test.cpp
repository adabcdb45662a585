// The device actions on the engine: reboot, saved configurations, factory reset.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/test_model.h"
#include "model/saved_config.h"
#include "testing/temp_dir.h"

namespace sim {
namespace {

using namespace test;

std::string file_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

int mode_of(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

std::string fault(const Reply& r) { return std::to_string(r.fault.code) + " " + r.fault.detail; }

class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(engine.boot(error)) << error;
    engine.set_event_sink([this](unsigned group, k::Json data) {
      events.push_back(std::to_string(group) + " " + k::json_dump(data.get(), JSON_COMPACT));
    });
  }
  // Every value, pseudo-parameters included: instances, their order and max_instance.
  std::string everything(Engine& e) { return test::values(e, {"."}); }
  // Changes of every kind a saved configuration must keep.
  void change_everything() {
    const char* set = R"([{"Name":"Device.Name","Value":"changed"},{"Name":"Device.Secret","Value":"pw2"},)"
                      R"({"Name":"Device.Host.1.Addr.1.IP","Value":"10.0.0.9"},{"Name":"Device.DeviceInfo.DeviceMode","Value":"Bridge"}])";
    ASSERT_EQ(brief(engine.set_parameter_values(admin, members(set), false)), "");
    ASSERT_EQ(brief(engine.add_object(admin, "Device.Host.")), "#4");
    ASSERT_EQ(brief(engine.delete_object(admin, "Device.Host.3.")), "");
    ASSERT_EQ(brief(engine.add_object(admin, "Device.Host.4.Addr.")), "#1");
    ASSERT_EQ(brief(engine.add_object(admin, "Device.Rule.")), "#4");
    ASSERT_EQ(brief(engine.delete_object(admin, "Device.Rule.4.")), "");
    ASSERT_EQ(brief(engine.change_order(admin, "Device.Rule.2.", 1)), "");
    events.clear();
  }
  std::string stored_secret() { return json_string_value(engine.root().child("Device")->child("Secret")->value.get()); }

  k::test::TempDir dir;
  std::string state = dir.file("state");
  Engine engine{test::device_with_mode(state)};
  Caller admin = test::full_rights();
  std::vector<std::string> events;
};

TEST_F(DeviceTest, DeviceActionsNeedAModeTheModelAllows) {
  // The right of each device action is the server's (its method table), tested over the socket.
  EXPECT_EQ(fault(engine.reboot("Gateway", false)),
            "9007 DeviceMode \"Gateway\": not one of the enumerated values (Router, Bridge)");
  EXPECT_EQ(fault(engine.save_config(std::string(65, 'x'))), "9007 RestorePointName must have 1 to 64 bytes");
  EXPECT_TRUE(!engine.take_reboot() && !std::filesystem::exists(state) && events.empty()) << "nothing was done";

  Engine plain(test::test_model_tree());  // a model without DeviceInfo, a device without --state
  EXPECT_EQ(fault(plain.reboot("Router", false)),
            "9007 DeviceMode: the model has no Device.DeviceInfo.DeviceMode");
  EXPECT_EQ(fault(plain.save_config(std::nullopt)),
            "9002 veld-sim runs without --state: there is no folder to save the configuration in");
  EXPECT_EQ(fault(plain.factory_reset(std::nullopt)),
            "9002 the device has no factory model to go back to");
}

TEST_F(DeviceTest, RebootsAskedForJoinAndTheDeviceBootsWithTheLastModeAndWithoutUnsavedChanges) {
  const std::string factory = everything(engine);
  ASSERT_EQ(brief(engine.reboot(std::nullopt, false)), "");
  ASSERT_EQ(brief(engine.reboot("Bridge", true)), "");
  ASSERT_EQ(brief(engine.reboot(std::nullopt, false)), "");
  auto request = engine.take_reboot();
  ASSERT_TRUE(request && request->device_mode == "Bridge" && request->force);
  EXPECT_FALSE(engine.take_reboot());

  change_everything();
  std::string error;
  ASSERT_TRUE(engine.boot(error, request->device_mode)) << error;
  std::string expected = factory;
  expected.replace(expected.find(R"(Mode="Router")"), 13, R"(Mode="Bridge")");
  EXPECT_EQ(everything(engine), expected);
  EXPECT_TRUE(events.empty()) << "a boot announces nothing: every connection is new";
}

TEST_F(DeviceTest, SavedConfigurationComesBackWholeAfterAReboot) {
  change_everything();
  const std::string changed = everything(engine);
  ASSERT_EQ(brief(engine.save_config("before upgrade/1")), "");
  std::string file = saved_config_file(state);
  std::string point = state + "/restore-points/before%20upgrade%2F1.json";
  EXPECT_EQ(file_text(point), file_text(file));
  EXPECT_TRUE(mode_of(state) == 0700 && mode_of(state + "/restore-points") == 0700);
  EXPECT_TRUE(mode_of(file) == 0600 && mode_of(point) == 0600);
  EXPECT_EQ(std::filesystem::directory_iterator(state + "/restore-points")->path(), point)
      << "no temporary file is left behind";

  std::string error;  // unsaved changes going is run by velc's tests
  ASSERT_TRUE(engine.boot(error)) << error;
  EXPECT_EQ(everything(engine), changed);
  EXPECT_EQ(stored_secret(), "pw2");
  // Numbers are not handed out again: max_instance came back too.
  EXPECT_EQ(brief(engine.add_object(admin, "Device.Rule.")), "#5");
  EXPECT_EQ(brief(engine.add_object(admin, "Device.Host.4.Addr.")), "#2");
}

TEST_F(DeviceTest, FactoryResetRestoresTheModelErasesTheSavedConfigurationAndAnnouncesInstances) {
  const std::string factory = everything(engine);
  change_everything();
  ASSERT_EQ(brief(engine.save_config("mine")), "");
  ASSERT_EQ(brief(engine.factory_reset(std::nullopt)), "");
  EXPECT_EQ(everything(engine), factory);
  EXPECT_EQ(stored_secret(), "hidden");
  EXPECT_TRUE(std::filesystem::exists(state + "/restore-points/mine.json"));  // the saved one goes: run by velc's tests
  // Host 4 held Addr 1: it goes with its instance. Rule 4 had gone before.
  EXPECT_EQ(events, (std::vector<std::string>{
                        R"(4 {"Action":"Delete","Path":"Device.Host.4.","InstanceNumber":4})",
                        R"(4 {"Action":"Add","Path":"Device.Host.","InstanceNumber":3})"}));

  // Once more with a mode.
  ASSERT_EQ(brief(engine.factory_reset("Bridge")), "");
  EXPECT_EQ(test::values(engine, {"Device.DeviceInfo.DeviceMode"}), R"(Device.DeviceInfo.DeviceMode="Bridge")");
}

}  // namespace
}  // namespace sim
