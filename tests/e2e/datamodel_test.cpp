// The data-model commands end to end against veld-sim: request mode (no schema cache: paths go as
// typed, veld describes what set and execute convert) and the shell fed through a pipe (the
// schema cache, the trees).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness/process.h"

namespace {

using e2e::Emulator;
using Strings = std::vector<std::string>;

// The emulator's ping of 10.0.0.1 takes r = 14 ms: times 14, 13 and 16.
std::string ping_tree(int successes) {
  return "└── Device\n    └── IP\n        └── Diagnostics\n            └── Ping\n"
         "                ├── AverageResponseTime = 14\n"
         "                ├── FailureCount        = 0\n"
         "                ├── IPAddressUsed       = '192.168.1.1'\n"
         "                ├── MaximumResponseTime = 16\n"
         "                ├── MinimumResponseTime = 13\n"
         "                ├── Status              = 'Complete'\n"
         "                └── SuccessCount        = " + std::to_string(successes) + "\n";
}

std::string attributes(const std::string& names, int depth) {
  return R"(GetParameterAttributes {"ParameterNames":[)" + names + R"(],"Depth":)" + std::to_string(depth) + "}";
}
const std::string kPingInput = attributes(R"("Device.IP.Diagnostics.Ping.#input.")", -1);

TEST(DatamodelRequestMode, CommandsSendThePathAsTypedAndReportTheOutcome) {
  const struct {
    Strings words;  // after "-r"
    int status;
    std::string out;
    Strings sent;
    std::string err = "";
  } cases[] = {
      {{"cat", "Device.System."}, 0, "Umask        = 18\nFeatureFlags = 11\nDebugMode    = 'Disabled'\n",
       {R"(GetParameterValues {"ParameterNames":["Device.System."]})"}},
      // A path that names no object is asked for again as a parameter.
      {{"ls", "Device.DeviceInfo.Manufacturer"}, 0, "Device.DeviceInfo.Manufacturer\n",
       {R"(GetParameterNames {"ParameterPath":"Device.DeviceInfo.Manufacturer.","NextLevel":true})",
        R"(GetParameterNames {"ParameterPath":"Device.DeviceInfo.Manufacturer","NextLevel":true})"}},
      // veld describes each parameter; a value loses the quotes a shell would take off.
      {{"set", R"(Device.DeviceInfo.ProvisioningCode="ISP.TEST")", "Device.Time.Enable=false"}, 0,
       "key = Device.DeviceInfo.ProvisioningCode, value = \"ISP.TEST\"\n"
       "key = Device.Time.Enable, value = false\nStatus: OK\n",
       {attributes(R"("Device.DeviceInfo.ProvisioningCode")", 0), attributes(R"("Device.Time.Enable")", 0),
        R"(SetParameterValues {"ParameterList":[{"Name":"Device.DeviceInfo.ProvisioningCode",)"
        R"("Value":"ISP.TEST"},{"Name":"Device.Time.Enable","Value":false}]})"}},
      // add exits with the new instance's number, the first one's too.
      {{"add", "Device.Hosts.Host"}, 1, "Instance number: 1\nStatus: OK\n",
       {R"(AddObject {"ObjectName":"Device.Hosts.Host."})"}},
      {{"execute", "Device.IP.Diagnostics.Ping", "Host=10.0.0.1", "NumberOfRepetitions=2"}, 0,
       "key = Host, value = 10.0.0.1\nkey = NumberOfRepetitions, value = 2\n" + ping_tree(2),
       {kPingInput, R"(Execute {"MethodName":"Device.IP.Diagnostics.Ping","ParameterList":[{"Name":"Host",)"
                    R"("Value":"10.0.0.1"},{"Name":"NumberOfRepetitions","Value":2}]})"}},
      // The line stays alone on standard output; standard error says which path failed and why.
      {{"info", "Device.Time", "Device.DeviceInfo.Manufacturer"}, 255, "info: ERROR\n",
       {attributes(R"("Device.Time","Device.DeviceInfo.Manufacturer")", 0), attributes(R"("Device.Time")", 0),
        attributes(R"("Device.DeviceInfo.Manufacturer")", 0)},
       "info: Device.Time: [9005] Invalid parameter name: Device.Time: an object: its path ends with a dot\n"},
  };
  Emulator sim({"--hosts", "0"});  // an empty table of hosts
  for (const auto& c : cases) {
    Strings args = {"-r"};
    args.insert(args.end(), c.words.begin(), c.words.end());
    sim.clear_requests();
    e2e::Run run = e2e::velc(sim, args);
    SCOPED_TRACE(testing::PrintToString(c.words));
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(e2e::sent(sim), c.sent);
    EXPECT_EQ(run.err, c.err);
  }
}

// The shell fed through a pipe: what it printed from its first prompt on. Checks that the shell
// ended cleanly (under the sanitizers, a report makes the status non-zero).
std::string shell(const Emulator& sim, const std::string& input) {
  e2e::Run run = e2e::velc(sim, {}, input);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  size_t at = run.out.find("velc:> ");
  return at == std::string::npos ? run.out : run.out.substr(at);
}

// The same set or execute typed in the shell and given to request mode sends veld the same
// request, with the same JSON types; a value that does not convert is refused by both (and
// fails request mode), never sent.
TEST(OneValueSyntax, TheShellAndRequestModeSendTheSameRequest) {
  const std::string ping = "Device.IP.Diagnostics.Ping";
  const struct {
    Strings words;      // for "velc -r"; joined by blanks, the line typed in the shell
    std::string sent;   // the request to veld; empty: refused with `refusal`
    std::string refusal = "";
  } cases[] = {
      {{"set", "Device.DHCPv4.Server.Pool.1.LeaseTime=0x10"},
       R"(SetParameterValues {"ParameterList":[{"Name":"Device.DHCPv4.Server.Pool.1.LeaseTime","Value":16}]})"},
      {{"set", "Device.Time.Enable=maybe"}, "", "set: Device.Time.Enable: invalid value maybe.\n"},
      {{"execute", ping, "NumberOfRepetitions=two"}, "", "execute: NumberOfRepetitions: invalid value two.\n"},
  };
  Emulator sim;
  auto changes = [&] {
    Strings out = e2e::sent(sim, "SetParameterValues"), run = e2e::sent(sim, "Execute");
    out.insert(out.end(), run.begin(), run.end());
    return out;
  };
  for (const auto& c : cases) {
    Strings expected;
    if (!c.sent.empty()) expected.push_back(c.sent);
    std::string line;
    for (const std::string& w : c.words) line += (line.empty() ? "" : " ") + w;
    sim.clear_requests();
    EXPECT_NE(shell(sim, line + "\n").find(c.refusal), std::string::npos) << line;
    EXPECT_EQ(changes(), expected) << "shell: " << line;

    sim.clear_requests();
    Strings args = {"-r"};
    args.insert(args.end(), c.words.begin(), c.words.end());
    e2e::Run run = e2e::velc(sim, args);
    EXPECT_EQ(changes(), expected) << "request: " << line;
    EXPECT_NE(run.out.find(c.refusal), std::string::npos) << run.out;
    EXPECT_EQ(run.status, c.sent.empty() ? 255 : 0) << line;
  }
}

// The schema cache fetches a level when it is first needed (a name typed in another case finds
// its node once its parent was fetched), once, and a table in one go; the instance commands
// complete their paths from it, and `take` moves into the instance it added.
TEST(DatamodelShell, TheSchemaIsFetchedLazilyOnceAndATableInOneGo) {
  Emulator sim({"--hosts", "5000"});
  std::string input = "cd Device\ncd DeviceInfo\ncd <\ncd deviceinfo\ncd :Device.Hosts.Host.1\n";
  for (int i = 2; i <= 5000; i += 97) input += "cd :device.hosts.host." + std::to_string(i) + "\n";
  input += "cd <.4999.hostname\npwd\n";
  std::string out = shell(sim, input);
  EXPECT_NE(out.find("\n:Device.Hosts.Host.4999.HostName\n"), std::string::npos) << out;
  EXPECT_EQ(e2e::sent(sim, "GetParameterNames").size(), 1u);
  Strings fetched = e2e::sent(sim, "GetParameterAttributes");
  ASSERT_EQ(fetched.size(), 5u) << testing::PrintToString(fetched);  // root, Device, Hosts, the table, its instances
  EXPECT_EQ(fetched[0], attributes(R"(".")", 1));
  EXPECT_EQ(fetched[1], attributes(R"("Device.")", 1));
  EXPECT_NE(fetched[4].find(R"("Device.Hosts.Host.5000.")"), std::string::npos);
  out = shell(sim, "cd Device.Hosts\ntake Host\ndel <.1\ndel <.2.HostName\n");
  EXPECT_NE(out.find("Instance number: 5001\nStatus: OK\nvelc:Device.Hosts.Host.5001> "), std::string::npos)
      << out;
  EXPECT_EQ(e2e::sent(sim, "AddObject"), Strings{R"(AddObject {"ObjectName":"Device.Hosts.Host."})"});
  EXPECT_EQ(e2e::sent(sim, "DeleteObject"), (Strings{R"(DeleteObject {"ObjectName":"Device.Hosts.Host.1."})",
                                                     R"(DeleteObject {"ObjectName":"Device.Hosts.Host.2.HostName"})"}));
}

// A name typed in another case finds its node in levels not fetched yet; trees; in the shell a
// method and its arguments come from the schema cache.
TEST(DatamodelShell, TreesMethodsAndAttributes) {
  Emulator sim;
  EXPECT_EQ(shell(sim, "cd device.users\ntree\ncatree :Device.DeviceInfo.MemoryStatus\n"
                       "execute :Device.IP.Diagnostics.Ping Host=10.0.0.1\n"),
            "velc:> cd device.users\n"
            "velc:Device.Users> tree\n"
            "Device.Users\n├── CurrentUser\n├── SystemAccess\n├── User\n│   ├── 1\n│   ├── 2\n│   ├── 3\n"
            "│   └── max_instance\n└── UserNumberOfEntries\n"
            "velc:Device.Users> catree :Device.DeviceInfo.MemoryStatus\n"
            "Device.DeviceInfo.MemoryStatus.\n├── Free  = 301456\n└── Total = 524288\n"
            "velc:Device.Users> execute :Device.IP.Diagnostics.Ping Host=10.0.0.1\n"
            "key = Host, value = 10.0.0.1\n" + ping_tree(3) +
                "velc:Device.Users> \n");
  EXPECT_EQ(e2e::sent(sim, "Execute"),
            Strings{R"(Execute {"MethodName":"Device.IP.Diagnostics.Ping","ParameterList":[{"Name":"Host","Value":"10.0.0.1"}]})"});
}

}  // namespace
