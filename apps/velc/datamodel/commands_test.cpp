// The data-model commands against the fixture cache and a fake veld: their messages, results and
// the requests they send. (Request mode, without a cache, is covered end to end.)
#include <gtest/gtest.h>

#include "datamodel/instances.h"
#include "datamodel/test_support.h"
#include "shell/command_handlers.h"
#include "shell/prompt.h"

using testing_support::args;
using testing_support::FakeVeld;
using testing_support::load_schema;
using testing_support::MiniModel;
using testing_support::output_of;

namespace {

using Strings = std::vector<std::string>;

struct CommandCase {
  const char* command;  // the name the handler is called with
  std::vector<const char*> words;
  int result;
  const char* output;
  Strings requests;
};

class CommandTest : public testing::Test {
 protected:
  using CommandHandler = int (*)(const std::string&, json_t*);

  void SetUp() override { load_schema(); }
  void TearDown() override {
    cdpath_free(current_path);
    cdpath_free(previous_path);
    schema_root = k::Json();
  }

  // Runs the handler of `c.command` and checks its result, output and requests.
  void check(const CommandCase& c) {
    static const std::map<std::string, CommandHandler> handlers = {
        {"set", cmd_set},   {"SetParameterValues", cmd_set}, {"add", cmd_add},
        {"touch", cmd_add}, {"del", cmd_del},                {"rm", cmd_del},
        {"order", cmd_order}};
    size_t before = veld_.requests().size();
    k::Json a = k::Json::take(json_array());
    for (const char* w : c.words) json_array_append_new(a.get(), json_string(w));
    int result = 0;
    std::string out = output_of([&] { result = handlers.at(c.command)(c.command, a.get()); });
    std::string label = std::string(c.command) + " " + k::json_dump(a.get(), JSON_COMPACT);
    EXPECT_EQ(result, c.result) << label;
    EXPECT_EQ(out, c.output) << label;
    Strings all = veld_.requests();
    EXPECT_EQ(Strings(all.begin() + static_cast<long>(before), all.end()), c.requests) << label;
  }

  MiniModel model_;
  FakeVeld veld_{[this](const std::string& method, json_t* params) {
    return model_.answer(method, params);
  }};
};

std::string set_request(const char* list) {
  return std::string(R"(SetParameterValues {"ParameterList":)") + list + "}";
}

TEST_F(CommandTest, SetConvertsByTheParametersTypeAndSendsOneRequest) {
  const CommandCase cases[] = {
      {"set", {"Device.DeviceInfo.ModelName=abc"}, 0,
       "key = Device.DeviceInfo.ModelName, value = abc\nStatus: OK\n",
       {set_request(R"([{"Name":"Device.DeviceInfo.ModelName","Value":"abc"}])")}},
      {"set", {"Device.DeviceInfo.ModelName="}, 0,
       "key = Device.DeviceInfo.ModelName, value = \nStatus: OK\n",
       {set_request(R"([{"Name":"Device.DeviceInfo.ModelName","Value":""}])")}},
      {"set", {"Device.DeviceInfo.ModelName=a=b"}, 0,
       "key = Device.DeviceInfo.ModelName, value = a=b\nStatus: OK\n",
       {set_request(R"([{"Name":"Device.DeviceInfo.ModelName","Value":"a=b"}])")}},
      {"set", {"device.hosts.host.1.active=TRUE"}, 0,
       "key = device.hosts.host.1.active, value = TRUE\nStatus: OK\n",
       {set_request(R"([{"Name":"Device.Hosts.Host.1.Active","Value":true}])")}},
      {"set", {"Device.DeviceInfo.UpgradeProgress=0x10", "Device.DeviceInfo.Temperature=2"}, 0,
       "key = Device.DeviceInfo.UpgradeProgress, value = 0x10\n"
       "key = Device.DeviceInfo.Temperature, value = 2\nStatus: OK\n",
       {set_request(R"([{"Name":"Device.DeviceInfo.UpgradeProgress","Value":16},)"
                    R"({"Name":"Device.DeviceInfo.Temperature","Value":2.0}])")}},
      // Rejected assignments are reported and dropped; the others still go.
      {"set", {"Nope=1", "Device.DeviceInfo.ModelName=x"}, 0,
       "key = Nope, value = 1\nset: Nope: no such node.\n"
       "key = Device.DeviceInfo.ModelName, value = x\nStatus: OK\n",
       {set_request(R"([{"Name":"Device.DeviceInfo.ModelName","Value":"x"}])")}},
      {"set", {"Device.Hosts.Host.1.Active=1"}, -1,
       "key = Device.Hosts.Host.1.Active, value = 1\n"
       "set: Device.Hosts.Host.1.Active: invalid value 1.\nset: no argument.\n",
       {}},
      {"set", {"Device.Hosts.Host.1.Active=truex"}, -1,
       "key = Device.Hosts.Host.1.Active, value = truex\n"
       "set: Device.Hosts.Host.1.Active: invalid value truex.\nset: no argument.\n",
       {}},
      {"set", {"Device.DeviceInfo.UpgradeProgress=4294967296"}, -1,
       "key = Device.DeviceInfo.UpgradeProgress, value = 4294967296\n"
       "set: Device.DeviceInfo.UpgradeProgress: invalid value 4294967296.\nset: no argument.\n",
       {}},
      {"set", {"Device.DeviceInfo=1"}, -1,
       "key = Device.DeviceInfo, value = 1\n"
       "set: Device.DeviceInfo: is an object or doesn't have default value.\nset: no argument.\n",
       {}},
      {"set", {"Device.DeviceInfo.ModelName"}, -1,
       "set: Device.DeviceInfo.ModelName: no value.\nset: no argument.\n", {}},
      {"set", {}, -1, "set: no argument.\n", {}},
      // Under another word the values go raw.
      {"SetParameterValues", {"Device.DeviceInfo.ModelName=x"}, 0,
       "key = Device.DeviceInfo.ModelName, value = x\nStatus: OK\n",
       {R"(RawSetParameterValues {"ParameterList":[{"Name":"Device.DeviceInfo.ModelName",)"
        R"("Value":"x"}]})"}},
      // A refusal is reported; the command still succeeds.
      {"set", {"Device.DeviceInfo.ModelName=refuse"}, 0,
       "key = Device.DeviceInfo.ModelName, value = refuse\n[9005] Invalid parameter name\n",
       {set_request(R"([{"Name":"Device.DeviceInfo.ModelName","Value":"refuse"}])")}},
  };
  for (const auto& c : cases) check(c);
}

TEST_F(CommandTest, InstanceCommands) {
  const CommandCase cases[] = {
      {"add", {"Device.Hosts.Host"}, 3, "Instance number: 3\nStatus: OK\n",
       {R"(AddObject {"ObjectName":"Device.Hosts.Host."})"}},
      {"touch", {"device.hosts.host.", "ignored"}, 4, "Instance number: 4\nStatus: OK\n",
       {R"(AddObject {"ObjectName":"Device.Hosts.Host."})"}},
      {"add", {"Device.DeviceInfo"}, 0, "[9005] Invalid parameter name\n",
       {R"(AddObject {"ObjectName":"Device.DeviceInfo."})"}},
      {"add", {"a", "b", "c"}, -1, "syntax: add <path> [<order_num>]\n", {}},
      {"touch", {"Nonexistent"}, -1, "touch: Nonexistent: no such node.\n", {}},
      {"del", {"Device.Hosts.Host.2"}, 0, "Status: OK\n",
       {R"(DeleteObject {"ObjectName":"Device.Hosts.Host.2."})"}},
      {"rm", {"Device.Hosts.Host.2.HostName"}, 0, "Status: OK\n",
       {R"(DeleteObject {"ObjectName":"Device.Hosts.Host.2.HostName"})"}},
      {"del", {}, -1, "syntax: del <path>\n", {}},
      {"rm", {"a", "b"}, -1, "syntax: rm <path>\n", {}},
      {"rm", {"Device.Nope"}, -1, "rm: Device.Nope: no such node.\n", {}},
      {"order", {"Device.Firewall.Rule.1", "007"}, 0, "Status: OK\n",
       {R"(ChangeOrder {"ObjectName":"Device.Firewall.Rule.1.","Order":7})"}},
      {"order", {"Device.Firewall.Rule.1", "-1"}, -1, "order: invalid order integer: -1\n", {}},
      {"order", {"Device.Firewall.Rule.1", "abc"}, -1, "order: invalid order integer: abc\n", {}},
      {"order", {"Nope", "4294967296"}, -1, "order: invalid order integer: 4294967296\n", {}},
      {"order", {"Nope", "1"}, -1, "order: Nope: no such node.\n", {}},
      {"order", {"Device.Firewall.Rule.1"}, -1, "syntax: order <path> <order_num>\n", {}},
  };
  for (const auto& c : cases) check(c);
}

TEST_F(CommandTest, AddWithoutArgumentAddsToTheCurrentObject) {
  ASSERT_EQ(cdpath_resolve(current_path, "Device.Hosts.Host"), 0);
  check({"add", {}, 3, "Instance number: 3\nStatus: OK\n",
         {R"(AddObject {"ObjectName":"Device.Hosts.Host."})"}});
}

TEST(ParseDecimal, AcceptsOnlyUnsignedDecimalNumbers) {
  struct {
    const char* text;
    int ok;
    uint32_t value;
  } cases[] = {{"007", 1, 7},       {"0", 1, 0},   {"4294967295", 1, 4294967295u},
               {"4294967296", 0, 0}, {"-1", 0, 0}, {"+1", 0, 0},
               {"0x10", 0, 0},      {"", 0, 0},    {nullptr, 0, 0}};
  for (const auto& c : cases) {
    uint32_t value = 0;
    EXPECT_EQ(parse_decimal(c.text, value) >= 0, c.ok == 1) << (c.text ? c.text : "null");
    EXPECT_EQ(value, c.value);
  }
}

// Navigation runs against the fixture cache; `take` needs veld to serve the new instance.
class NavigationTest : public CommandTest {
 protected:
  int run(CommandHandler handler, const char* name, std::initializer_list<const char*> words,
          std::string* out = nullptr) {
    k::Json a = args(words);
    int result = 0;
    std::string text = output_of([&] { result = handler(name, a.get()); });
    if (out) *out = text;
    return result;
  }
};

TEST_F(NavigationTest, CdMovesAndRemembersThePreviousPosition) {
  std::string out;
  EXPECT_EQ(run(cmd_cd, "cd", {"device.deviceinfo"}, &out), 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(current_path.text, "Device.DeviceInfo");
  EXPECT_EQ(prompt_text(), "velc:Device.DeviceInfo> ");
  EXPECT_EQ(run(cmd_cd, "cd", {"<.Hosts"}), 0);
  EXPECT_EQ(previous_path.text, "Device.DeviceInfo");

  EXPECT_EQ(run(cmd_cd, "cd", {"-"}, &out), 0);
  EXPECT_EQ(out, ":Device.DeviceInfo\n");
  EXPECT_EQ(current_path.text, "Device.DeviceInfo");
  EXPECT_EQ(run(cmd_cd, "cd", {"-"}, &out), 0);
  EXPECT_EQ(current_path.text, "Device.Hosts");

  EXPECT_EQ(run(cmd_cd, "cd", {}), 0);
  EXPECT_EQ(current_path.text, "");
  EXPECT_EQ(current_path.node, schema_root.get());
  EXPECT_EQ(previous_path.text, "Device.Hosts");
  EXPECT_EQ(prompt_text(), "velc:> ");
}

TEST_F(NavigationTest, CdFailuresChangeNothing) {
  ASSERT_EQ(run(cmd_cd, "cd", {"Device.Hosts"}), 0);
  std::string out;
  EXPECT_EQ(run(cmd_cd, "cd", {"Nonexistent"}, &out), -2);
  EXPECT_EQ(out, "cd: Nonexistent: no such node\n");
  EXPECT_EQ(run(cmd_cd, "cd", {"a", "b"}, &out), -1);
  EXPECT_EQ(out, "syntax: cd [<path>]");
  std::string too_long(300, 'x');
  EXPECT_EQ(run(cmd_cd, "cd", {too_long.c_str()}, &out), -2);
  EXPECT_EQ(out, "cd: " + too_long + ": no such node\n");
  EXPECT_EQ(current_path.text, "Device.Hosts");
  EXPECT_EQ(previous_path.text, "");
}

TEST_F(NavigationTest, UpCountsLevels) {
  struct {
    const char* words;  // null: no argument
    const char* final_text;
  } cases[] = {{nullptr, "Device.Hosts"}, {"0", "Device.Hosts"}, {"x", "Device.Hosts"},
               {"1", "Device.Hosts"},     {"2", "Device"},       {"-2", "Device.Hosts.Host"},
               {"100", ""},               {"99999999999999999999", ""}};
  for (const auto& c : cases) {
    ASSERT_EQ(run(cmd_cd, "cd", {":Device.Hosts.Host"}), 0);
    int result = c.words ? run(cmd_up, "up", {c.words}) : run(cmd_up, "up", {});
    EXPECT_EQ(result, 0) << (c.words ? c.words : "none");
    EXPECT_EQ(current_path.text, c.final_text) << (c.words ? c.words : "none");
    EXPECT_EQ(previous_path.text, "Device.Hosts.Host");
  }
}

TEST_F(NavigationTest, TakeAddsAndMovesIntoTheNewInstance) {
  schema_reset();  // served by the fake's model, which learns of the new instance
  std::string out;
  ASSERT_EQ(run(cmd_cd, "cd", {"Device.Hosts.Host"}), 0);
  EXPECT_EQ(run(cmd_take, "take", {}, &out), 0);
  EXPECT_EQ(out, "Instance number: 3\nStatus: OK\n");
  EXPECT_EQ(current_path.text, "Device.Hosts.Host.3");
  EXPECT_TRUE(json_object_get(current_path.node, "HostName"));

  EXPECT_EQ(run(cmd_take, "take", {":Device.Hosts.Host."}, &out), 0);
  EXPECT_EQ(current_path.text, "Device.Hosts.Host.4");
  EXPECT_EQ(previous_path.text, "Device.Hosts.Host.3");

  EXPECT_EQ(run(cmd_take, "take", {"<.<.<.DeviceInfo"}, &out), -1);
  EXPECT_EQ(out, "[9005] Invalid parameter name\n");
  EXPECT_EQ(current_path.text, "Device.Hosts.Host.4");
}

}  // namespace
