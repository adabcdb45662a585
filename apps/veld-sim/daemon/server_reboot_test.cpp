// A Reboot as clients see it: the reply, the dropped connections, the pause without a socket,
// and the device serving its saved configuration again.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "daemon/server.h"
#include "daemon/test_client.h"

namespace sim {
namespace {

using test::dump;
using test::member;
using test::RunningServer;
using test::TestClient;

// Every connection may use the device-wide methods, as a user with system access could.
void grant(Caller& caller) { caller.system_access = true; }

std::string request(int id, const char* method, const char* params = "{}") {
  return R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"method":")" + method +
         R"(","params":)" + params + "}";
}

// The ids of the replies a client gets until the server closes the connection (events are
// passed over), each followed by a blank.
std::string ids_until_closed(TestClient& c) {
  std::string ids;
  while (k::Json m = c.message())
    if (json_t* id = member(m, "id")) ids += dump(id) + " ";
  EXPECT_TRUE(c.closed) << "the connection was not closed";
  return ids;
}

TEST(ServerReboot, TheReplyComesFirstThenEveryConnectionGoesAndConnectingFailsWhileDown) {
  RunningServer server({.reboot_ms = 3600000, .on_connect = grant});
  TestClient asker(server.socket_path), idle(server.socket_path);
  idle.request(request(1, "Select", R"({"Selector":"Device.Level"})"));
  ASSERT_EQ(dump(member(idle.message(), "id")), "1");  // accepted before the reboot
  asker.request(request(7, "Reboot"));
  EXPECT_EQ(dump(asker.message().get()), R"({"jsonrpc":"2.0","id":7,"result":{"Status":0}})");
  EXPECT_TRUE(asker.closed_by_server());
  EXPECT_TRUE(idle.closed_by_server());
  int err = 0;
  EXPECT_FALSE(k::unix_connect(server.socket_path, err));
  EXPECT_EQ(err, k::kSockNoEntry);
  EXPECT_FALSE(std::filesystem::exists(server.socket_path));
  server.stop();  // a stop also ends the pause
}

// It comes up in the mode the Reboot asked for.
TEST(ServerReboot, AfterThePauseTheDeviceServesItsSavedConfiguration) {
  k::test::TempDir state;
  RunningServer server({.reboot_ms = 0, .on_connect = grant}, test::device_with_mode(state.path()));
  TestClient client(server.socket_path);
  client.send(request(1, "SetParameterValues", R"({"ParameterList":[{"Name":"Device.Name","Value":"saved"}]})") + "\n" +
              request(2, "SaveConfig") + "\n" +
              request(3, "SetParameterValues", R"({"ParameterList":[{"Name":"Device.Name","Value":"lost"}]})") + "\n" +
              request(4, "AddObject", R"({"ObjectName":"Device.Rule."})") + "\n" +
              request(5, "Reboot", R"({"DeviceMode":"Bridge"})") + "\n");
  EXPECT_EQ(ids_until_closed(client), "1 2 3 4 5 ");
  std::unique_ptr<TestClient> again;
  for (int tries = 0; tries < 2000 && !(again && again->fd); ++tries) {
    if (again) ::usleep(10000);
    again = std::make_unique<TestClient>(server.socket_path);
  }
  ASSERT_TRUE(again->fd) << "not served again";
  again->request(request(6, "GetParameterValues",
                         R"({"ParameterNames":["Device.Name","Device.Rule.max_instance","Device.DeviceInfo.DeviceMode"]})"));
  EXPECT_EQ(dump(member(again->message(), "result")),
            R"({"ParameterList":[{"Name":"Device.Name","Value":"saved"},{"Name":"Device.Rule.max_instance","Value":3},)"
            R"({"Name":"Device.DeviceInfo.DeviceMode","Value":"Bridge"}]})");
}

TEST(ServerReboot, WithoutForceWorkAlreadyReceivedIsFinishedFirstWithForceOnlyTheReplyLeaves) {
  for (bool force : {false, true}) {
    // Replies wait an hour, so the ones still held back show what a reboot does with them.
    RunningServer server({.delay_ms = 3600000, .reboot_ms = 3600000, .on_connect = grant});
    TestClient asker(server.socket_path), other(server.socket_path);
    // The change events are not held back: each tells that the requests before it were run.
    asker.send(request(1, "JoinGroup", R"({"Group":4})") + "\n" +
               request(2, "AddObject", R"({"ObjectName":"Device.Rule."})") + "\n");
    ASSERT_EQ(dump(member(asker.message(), "params.Data.InstanceNumber")), "4");
    other.send(request(3, "GetParameterNames", R"({"ParameterPath":"Device.Rule."})") + "\n" +
               request(4, "AddObject", R"({"ObjectName":"Device.Rule."})") + "\n");
    ASSERT_EQ(dump(member(asker.message(), "params.Data.InstanceNumber")), "5");
    // One write: the line after the Reboot arrives with it.
    asker.send(request(5, "Reboot", force ? R"({"Force":true})" : "{}") + "\n" +
               request(6, "GetParameterNames", R"({"ParameterPath":"Device.Rule."})") + "\n");
    EXPECT_EQ(ids_until_closed(asker), force ? "5 " : "1 2 5 6 ") << force;
    EXPECT_EQ(ids_until_closed(other), force ? "" : "3 4 ") << force;
  }
}

}  // namespace
}  // namespace sim
