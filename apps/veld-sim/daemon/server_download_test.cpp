// Download over the socket: the channels, rights, configurations, images.
#include "daemon/test_server.h"

namespace sim {
namespace {

using namespace test;

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "(none)";
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// A daemon on the test device with a state folder and a downloads folder of its own, and
// a connection with system access.
struct Device {
  explicit Device(int flash_ms = 3600000, std::function<void(Caller&)> on_connect = grant)
      : server({.reboot_ms = 0,
                .on_connect = std::move(on_connect),
                .download = {.download_dir = dir.file("downloads"), .flash_ms = flash_ms}},
               test::device_with_mode(dir.file("state"))),
        client(server.socket_path) {}
  // Sends a request and gives its reply (events passed over).
  k::Json call(const std::string& method, const std::string& params, TestClient* on = nullptr) {
    TestClient& c = on ? *on : client;
    c.request(request(++last_id, method.c_str(), params.c_str()));
    while (k::Json m = c.message())
      if (json_t* got = member(m, "id"); got && json_integer_value(got) == last_id) return m;
    return {};
  }
  // A Download's reply in brief: the result, or the error code and detail.
  std::string download(const std::string& params) {
    k::Json m = call("Download", params);
    if (json_t* e = member(m, "error"))
      return dump(json_object_get(e, "code")) + " " + k::json_text(e, "detail");
    return dump(member(m, "result"));
  }
  // Values of parameters, as "Name=value ...".
  std::string values(const std::string& names, TestClient* on = nullptr) {
    k::Json m = call("GetParameterValues", R"({"ParameterNames":[)" + names + "]}", on);
    std::string out;
    size_t i;
    json_t* e;
    json_array_foreach(member(m, "result.ParameterList"), i, e)
      out += (out.empty() ? "" : " ") + k::json_text(e, "Name") + "=" + dump(json_object_get(e, "Value"));
    return out;
  }
  k::test::TempDir dir;
  RunningServer server;
  TestClient client;
  int last_id = 0;
};

// What each channel stores is run by velc's download tests; here how each one fails.
TEST(ServerDownload, EveryChannelSaysWhyItStoredNothing) {
  const std::string body = "0123456789";
  OneShotPeer short_sender(sends("012")), http(http_answers(404, "gone"));
  const std::string netcat = "netcat://127.0.0.1:" + std::to_string(short_sender.port);
  const std::string http_url = "http://127.0.0.1:" + std::to_string(http.port) + "/files/h.bin";
  Device d;
  write_file(d.dir.file("source.bin"), body);
  // Rows: params, reply.
  const std::pair<std::string, std::string> cases[] = {
      {"file://" + d.dir.file("source.bin") + R"(","MD5":")" + md5_hex("x") + "\"",
       "9018 MD5 mismatch: expected " + md5_hex("x") + ", the file has " + md5_hex(body)},
      {netcat + R"(","FileSize":10,"TargetFileName":"n.bin")",
       "9017 the sender at 127.0.0.1:" + std::to_string(short_sender.port) + " sent 3 of 10 bytes"},
      {http_url + "\"", "9016 " + http_url + ": The requested URL returned error: 404"},
      // Refused before anything is fetched.
      {R"(netcat://127.0.0.1:9")", "-32602 a netcat URL needs FileSize (integer)"},
      {R"(file:///nonexistent/x")", "9016 cannot open /nonexistent/x: No such file or directory"},
  };
  for (const auto& [params, reply] : cases)
    EXPECT_EQ(d.download(R"({"FileType":"File","URL":")" + params + "}"), reply) << params;
  EXPECT_TRUE(!std::filesystem::exists(d.dir.file("downloads")) || std::filesystem::is_empty(d.dir.file("downloads")));
}

TEST(ServerDownload, OnlyAUserWithSystemAccessDownloads) {
  Device d(3600000, [](Caller&) {});  // guests, who may do everything but device actions
  for (const char* type : {"Firmware", "Config", "File"})
    EXPECT_EQ(d.download(std::string(R"({"FileType":")") + type + R"(","URL":"file:///etc/hostname"})"),
              "9001 Download needs a user with system access")
        << type;
}

TEST(ServerDownload, AConfigurationIsAppliedWholeOrNotAtAllAndAnnouncesTheInstancesThatWentAndCame) {
  Device d;
  TestClient watcher(d.server.socket_path);
  d.call("JoinGroup", R"({"Group":4})", &watcher);
  auto apply = [&](const char* file) {
    write_file(d.dir.file("config.json"), file);
    return d.download(R"({"FileType":"Config","URL":"file://)" + d.dir.file("config.json") + "\"}");
  };
  const char* values = R"("Device.Name","Device.Rule.")";
  // Refused ones first: they change nothing and announce nothing.
  EXPECT_EQ(apply(R"({"Version":1,"Configuration":{"Device":{"Name":"cfg","Rule":{"2":{"Port":"x"}}}}})"),
            "9018 the configuration does not apply: Device.Rule.2.Port: bad value: expects an integer");
  EXPECT_EQ(apply("not json"), "9018 the configuration is not a JSON object");
  EXPECT_EQ(d.values(values), R"(Device.Name="box" Device.Rule.3.Port=443 Device.Rule.1.Port=22 )"
                              R"(Device.Rule.2.Port=80 Device.Rule.max_instance=3 Device.Rule.order=[3,1,2])");
  EXPECT_EQ(apply(R"({"Version":1,"Configuration":{"Device":{"Name":"cfg","Rule":{"4":{"Port":80}}}}})"), R"({"Status":0})");
  EXPECT_EQ(d.values(values), R"(Device.Name="cfg" Device.Rule.4.Port=80 Device.Rule.max_instance=4 Device.Rule.order=[4])");
  std::string events;  // each event's action, path and instance number
  for (int i = 0; i < 4; ++i) {
    k::Json event = watcher.message();
    events += k::json_text(member(event, "params.Data"), "Action") + " " + k::json_text(member(event, "params.Data"), "Path") +
              dump(member(event, "params.Data.InstanceNumber")) + " ";
  }
  EXPECT_EQ(events, "Delete Device.Rule.3.3 Delete Device.Rule.1.1 Delete Device.Rule.2.2 Add Device.Rule.4 ");
}

TEST(ServerDownload, OtherClientsAreServedWhileAFetchWaits) {
  Device d;
  std::promise<void> go;
  std::shared_future<void> released = go.get_future().share();
  OneShotPeer peer([released](int fd) {
    released.wait();
    k::write_all(fd, "abc", 3);
  });
  d.client.request(R"({"jsonrpc":"2.0","id":1,"method":"Download","params":{"FileType":"File","URL":"netcat://127.0.0.1:)" +
                   std::to_string(peer.port) + R"(","FileSize":3,"TargetFileName":"slow"}})");
  TestClient other(d.server.socket_path);
  EXPECT_EQ(d.values(R"("Device.Name")", &other), R"(Device.Name="box")");
  go.set_value();
  EXPECT_EQ(dump(d.client.message().get()),
            R"({"jsonrpc":"2.0","id":1,"result":{"Status":0,"FileName":"slow"}})");
  EXPECT_EQ(read_file(d.dir.file("downloads/slow")), "abc");
}

// The firmware dialogue itself, and a bad image, are run by the upgrade tests and by velc's.
TEST(ServerDownload, TheSameVersionFlashesAtOnceAndWhileAFlashRunsNothingElseIsDownloaded) {
  Device d;  // a flash of an hour: it is still running at the end
  const std::string firmware = R"({"FileType":"Firmware","URL":"file://)" + d.dir.file("fw.img") + "\"}";
  write_file(d.dir.file("fw.img"), make_firmware_image("1.0.0", "p"));
  EXPECT_EQ(d.download(firmware).rfind(R"({"Status":0,"CurrentVersion":"1.0.0","NewVersion":"1.0.0",)", 0), 0u);
  EXPECT_EQ(d.download(R"({"FileType":"File","URL":"file:///etc/hostname"})"), "9001 a firmware upgrade is in progress");
}



}  // namespace
}  // namespace sim
