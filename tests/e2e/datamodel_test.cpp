// The data-model commands end to end against veld-sim: request mode (no schema cache: paths go as
// typed, set values are JSON) and the shell fed through a pipe (the cache: lazy fetching, case
// folding, conversion by parameter type, take).
#include <gtest/gtest.h>


#include "harness/process.h"
#include "platform/json.h"

namespace {

using e2e::Emulator;
using Strings = std::vector<std::string>;

// The requests veld-sim received, each as "<method> <params as compact JSON>", leaving out the
// group joins of start-up.
Strings requests(const Emulator& sim) {
  Strings out;
  for (const std::string& line : sim.requests()) {
    k::Json m = k::json_parse(line);
    std::string method = k::json_text(m.get(), "method");
    if (method == "JoinGroup") continue;
    out.push_back(method + " " +
                  k::json_dump(json_object_get(m.get(), "params"), JSON_COMPACT | JSON_ENCODE_ANY));
  }
  return out;
}

// The number after "Instance number: " in an output, or -1.
int instance_number(const std::string& out) {
  const std::string label = "Instance number: ";
  size_t at = out.find(label);
  if (at == std::string::npos) return -1;
  return std::atoi(out.c_str() + at + label.size());
}

// Requests of one method only.
Strings requests_of(const Emulator& sim, const std::string& method) {
  Strings out;
  for (const std::string& r : requests(sim))
    if (r.compare(0, method.size() + 1, method + " ") == 0) out.push_back(r);
  return out;
}

struct RequestCase {
  Strings words;          // after "-r"
  int status;             // exit status
  std::string output;     // exact standard output
  Strings sent;           // the requests sent
};

TEST(DatamodelRequestMode, CommandsSendThePathAsTypedAndReportTheOutcome) {
  const RequestCase cases[] = {
      {{"del", "Device.Hosts.Host.3"}, 0, "Status: OK\n",
       {R"(DeleteObject {"ObjectName":"Device.Hosts.Host.3."})"}},
      {{"rm", "Device.Hosts.Host.2."}, 0, "Status: OK\n",
       {R"(DeleteObject {"ObjectName":"Device.Hosts.Host.2."})"}},
      {{"del"}, 255, "syntax: del <path>\n", {}},
      {{"rm", "a", "b"}, 255, "syntax: rm <path>\n", {}},
      {{"add", "a", "b", "c"}, 255, "syntax: add <path> [<order_num>]\n", {}},
      {{"order", "Device.Firewall.Chain.1.Rule.1", "007"}, 0, "Status: OK\n",
       {R"(ChangeOrder {"ObjectName":"Device.Firewall.Chain.1.Rule.1.","Order":7})"}},
      {{"order", "Device.Firewall.Chain.1.Rule.1", "abc"}, 255,
       "order: invalid order integer: abc\n", {}},
      {{"order", "Device.Firewall.Chain.1.Rule.1", "--", "-1"}, 255,  // "--": not an option
       "order: invalid order integer: -1\n", {}},
      {{"order", "Device.Firewall.Chain.1.Rule.1"}, 255, "syntax: order <path> <order_num>\n", {}},
      {{"set", R"(Device.DeviceInfo.ProvisioningCode="ISP.TEST")", "Device.Time.Enable=false"}, 0,
       "key = Device.DeviceInfo.ProvisioningCode, value = \"ISP.TEST\"\n"
       "key = Device.Time.Enable, value = false\nStatus: OK\n",
       {R"(SetParameterValues {"ParameterList":[{"Name":"Device.DeviceInfo.ProvisioningCode",)"
        R"("Value":"ISP.TEST"},{"Name":"Device.Time.Enable","Value":false}]})"}},
      // Without a cache a value must be JSON; a bare word is not.
      {{"set", "Device.DeviceInfo.ProvisioningCode=bare"}, 255,
       "key = Device.DeviceInfo.ProvisioningCode, value = bare\nset: no argument.\n", {}},
      {{"set", "Device.Time.Enable"}, 255,
       "set: Device.Time.Enable: no value.\nset: no argument.\n", {}},
      {{"set"}, 255, "set: no argument.\n", {}},
      {{"SetParameterValues", R"(Device.Time.NTPServer1="ntp.example.net")"}, 0,
       "key = Device.Time.NTPServer1, value = \"ntp.example.net\"\nStatus: OK\n",
       {R"(RawSetParameterValues {"ParameterList":[{"Name":"Device.Time.NTPServer1",)"
        R"("Value":"ntp.example.net"}]})"}},
  };
  Emulator sim;
  for (const RequestCase& c : cases) {
    Strings args = {"-r"};
    args.insert(args.end(), c.words.begin(), c.words.end());
    sim.clear_requests();
    e2e::Run run = e2e::velc(sim, args);
    std::string label = c.words.empty() ? "" : c.words[0] + " ...";
    EXPECT_EQ(run.status, c.status) << label;
    EXPECT_EQ(run.out, c.output) << label;
    EXPECT_EQ(requests(sim), c.sent) << label;
  }
}

TEST(DatamodelRequestMode, AddPrintsTheInstanceNumberAndExitsWithIt) {
  Emulator sim;
  e2e::Run first = e2e::velc(sim, {"-r", "add", "Device.Hosts.Host"});
  int number = instance_number(first.out);
  ASSERT_GT(number, 0) << first.out;
  EXPECT_EQ(first.out, "Instance number: " + std::to_string(number) + "\nStatus: OK\n");
  EXPECT_EQ(first.status, number);
  EXPECT_EQ(requests(sim), Strings{R"(AddObject {"ObjectName":"Device.Hosts.Host."})"});

  e2e::Run second = e2e::velc(sim, {"-r", "touch", "Device.Hosts.Host.", "ignored"});
  EXPECT_EQ(second.out, "Instance number: " + std::to_string(number + 1) + "\nStatus: OK\n");
  EXPECT_EQ(second.status, number + 1);
}

TEST(DatamodelRequestMode, RefusalsAreReportedAndStillSucceed) {
  Emulator sim;
  e2e::Run add = e2e::velc(sim, {"-r", "add", "Device.DeviceInfo"});
  EXPECT_EQ(add.status, 0);
  EXPECT_EQ(add.out.rfind("[9005] ", 0), 0u) << add.out;
  EXPECT_EQ(add.out.find("Instance number"), std::string::npos);

  e2e::Run set = e2e::velc(sim, {"-r", "set", R"(Device.DeviceInfo.Manufacturer="x")"});
  EXPECT_EQ(set.status, 0);
  EXPECT_NE(set.out.find("\n[9008] "), std::string::npos) << set.out;

  e2e::Run del = e2e::velc(sim, {"-r", "del", "Device.Hosts.Host.999"});
  EXPECT_EQ(del.status, 0);
  EXPECT_EQ(del.out.rfind("[9005] ", 0), 0u) << del.out;
}

// The shell fed through a pipe, with the schema cache. Runs `input` and checks that the shell
// ended cleanly (under the sanitizers, a report makes the status non-zero).
e2e::Run shell(const Emulator& sim, const std::string& input) {
  e2e::Run run = e2e::velc(sim, {}, input);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  return run;
}

TEST(DatamodelShell, ANodeIsFetchedOnceWhenFirstNeeded) {
  Emulator sim;
  e2e::Run run = shell(sim, "cd Device\ncd DeviceInfo\ncd <\ncd deviceinfo\npwd\n");
  EXPECT_NE(run.out.find(":Device.DeviceInfo\n"), std::string::npos) << run.out;
  EXPECT_EQ(requests_of(sim, "GetParameterAttributes"),
            (Strings{R"(GetParameterAttributes {"ParameterNames":["."],"Depth":1})",
                     R"(GetParameterAttributes {"ParameterNames":["Device."],"Depth":1})"}));
}

TEST(DatamodelShell, ALargeTableArrivesInOneRequestAndIsWalkedWithoutMore) {
  Emulator sim({"--hosts", "5000"});
  std::string input = "cd Device.Hosts.Host.1\n";
  for (int i = 2; i <= 5000; i += 97) input += "cd :device.hosts.host." + std::to_string(i) + "\n";
  input += "cd <.4999.hostname\npwd\n";
  e2e::Run run = shell(sim, input);
  EXPECT_NE(run.out.find(":Device.Hosts.Host.4999.HostName\n"), std::string::npos);
  EXPECT_EQ(requests_of(sim, "GetParameterNames").size(), 1u);
  Strings attributes = requests_of(sim, "GetParameterAttributes");
  ASSERT_EQ(attributes.size(), 5u);  // root, Device, Hosts, the table, its instances
  EXPECT_NE(attributes[4].find(R"("Device.Hosts.Host.5000.")"), std::string::npos);
}

// Names match without regard to case once their parent was fetched (the first name below a node
// not yet fetched is typed exactly).
TEST(DatamodelShell, SetConvertsValuesByTheParametersType) {
  Emulator sim;
  e2e::Run run = shell(sim,
                       "cd Device.ManagementServer\n"
                       "set PeriodicInformEnable=FALSE periodicinforminterval=0x100 url=a=b "
                       "Nope=1 PeriodicInformEnable=1\n");
  EXPECT_NE(run.out.find("key = Nope, value = 1\nset: Nope: no such node.\n"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("set: PeriodicInformEnable: invalid value 1.\n"), std::string::npos);
  EXPECT_EQ(requests_of(sim, "SetParameterValues"),
            Strings{R"(SetParameterValues {"ParameterList":[)"
                    R"({"Name":"Device.ManagementServer.PeriodicInformEnable","Value":false},)"
                    R"({"Name":"Device.ManagementServer.PeriodicInformInterval","Value":256},)"
                    R"({"Name":"Device.ManagementServer.URL","Value":"a=b"}]})"});
}

TEST(DatamodelShell, TakeAddsAnInstanceAndMovesIntoIt) {
  Emulator sim;
  e2e::Run run = shell(sim, "cd Device.Hosts.Host\ntake\npwd\ntake :Device.DeviceInfo\npwd\n");
  int number = instance_number(run.out);
  ASSERT_GT(number, 0) << run.out;
  // Both pwd lines show the new instance: the failed take stays where it was.
  std::string here = ":Device.Hosts.Host." + std::to_string(number) + "\n";
  size_t first = run.out.find(here);
  ASSERT_NE(first, std::string::npos) << run.out;
  EXPECT_NE(run.out.find(here, first + 1), std::string::npos) << run.out;
  EXPECT_EQ(requests_of(sim, "AddObject"),
            (Strings{R"(AddObject {"ObjectName":"Device.Hosts.Host."})",
                     R"(AddObject {"ObjectName":"Device.DeviceInfo."})"}));
}

TEST(DatamodelShell, AStarWithoutTemplateDoesNotStrandTheShell) {
  Emulator sim;
  e2e::Run run = shell(sim, "cd :Device.*\nls\ncd <.DeviceInfo\npwd\n");
  EXPECT_NE(run.out.find(":Device.DeviceInfo\n"), std::string::npos) << run.out;
}

TEST(DatamodelShell, DelOfAParameterPathSendsItWithoutTrailingDot) {
  Emulator sim;
  shell(sim, "cd Device.Hosts\ndel Host.1\ndel host.1.hostname\norder Host.1 x\n");
  EXPECT_EQ(requests_of(sim, "DeleteObject"),
            (Strings{R"(DeleteObject {"ObjectName":"Device.Hosts.Host.1."})",
                     R"(DeleteObject {"ObjectName":"Device.Hosts.Host.1.HostName"})"}));
  EXPECT_TRUE(requests_of(sim, "ChangeOrder").empty());
}

}  // namespace
