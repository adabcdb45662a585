// The data-model commands end to end against veld-sim: request mode (no schema cache: paths go as
// typed, veld describes what set and execute convert) and the shell fed through a pipe (the
// schema cache, the trees).
#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "harness/process.h"
#include "platform/json.h"

namespace {

using e2e::Emulator;
using Strings = std::vector<std::string>;

// The requests veld-sim received whose method begins with `method`, each as "<method> <params as
// compact JSON>", leaving out the group joins of start-up.
Strings requests(const Emulator& sim, const std::string& method = "") {
  Strings out;
  for (const std::string& line : sim.requests()) {
    k::Json m = k::json_parse(line);
    std::string name = k::json_text(m.get(), "method");
    if (name == "JoinGroup" || name.rfind(method, 0) != 0) continue;
    out.push_back(name + " " +
                  k::json_dump(json_object_get(m.get(), "params"), JSON_COMPACT | JSON_ENCODE_ANY));
  }
  return out;
}

struct RequestCase {
  Strings words;       // after "-r"
  int status;          // exit status
  std::string output;  // exact standard output
  Strings sent;        // the requests sent
  std::string err = "";  // exact standard error
};

// Runs each case as "velc -r <words>" against one emulator.
void run_request_cases(std::span<const RequestCase> cases) {
  Emulator sim;
  for (const RequestCase& c : cases) {
    Strings args = {"-r"};
    args.insert(args.end(), c.words.begin(), c.words.end());
    sim.clear_requests();
    e2e::Run run = e2e::velc(sim, args);
    std::string label;
    for (const std::string& word : c.words) label += word + " ";
    EXPECT_EQ(run.status, c.status) << label;
    EXPECT_EQ(run.out, c.output) << label;
    EXPECT_EQ(requests(sim), c.sent) << label;
    EXPECT_EQ(run.err, c.err) << label;
  }
}

const char* const kSystemValues =
    "Umask        = 18\nFeatureFlags = 11\nDebugMode    = 'Disabled'\n";
const char* const kManufacturer = "Manufacturer = 'Kestrel Networks'\n";
const char* const kGetManufacturer =
    R"(GetParameterValues {"ParameterNames":["Device.DeviceInfo.Manufacturer"]})";

TEST(DatamodelRequestMode, CommandsSendThePathAsTypedAndReportTheOutcome) {
  const RequestCase cases[] = {
      {{"cat", "Device.System."}, 0, kSystemValues,
       {R"(GetParameterValues {"ParameterNames":["Device.System."]})"}},
      {{"get", "Device.DeviceInfo.Manufacturer"}, 0, kManufacturer, {kGetManufacturer}},
      {{"GetParameterValues", "Device.DeviceInfo.Manufacturer"}, 0, kManufacturer,
       {kGetManufacturer}},
      {{"cat", "Device.Nope."}, 0, "[9005] Invalid parameter name: Device.Nope.: no such node\n",
       {R"(GetParameterValues {"ParameterNames":["Device.Nope."]})"}},
      {{"ls", "Device"}, 0,
       "Device.DHCPv4.            Device.Hosts.             Device.System.\n"
       "Device.DeviceInfo.        Device.IP.                Device.Time.\n"
       "Device.Ethernet.          Device.ManagementServer.  Device.Users.\n"
       "Device.Firewall.          Device.NAT.               Device.WiFi.\n",
       {R"(GetParameterNames {"ParameterPath":"Device.","NextLevel":true})"}},
      // A path that names no object is asked for again as a parameter.
      {{"ls", "Device.DeviceInfo.Manufacturer"}, 0, "Device.DeviceInfo.Manufacturer\n",
       {R"(GetParameterNames {"ParameterPath":"Device.DeviceInfo.Manufacturer.","NextLevel":true})",
        R"(GetParameterNames {"ParameterPath":"Device.DeviceInfo.Manufacturer","NextLevel":true})"}},
      {{"ls", "Device.Nope"}, 255, "[9005] Invalid parameter name: Device.Nope: no such node\n",
       {R"(GetParameterNames {"ParameterPath":"Device.Nope.","NextLevel":true})",
        R"(GetParameterNames {"ParameterPath":"Device.Nope","NextLevel":true})"}},
      {{"ls", "--", "-l", "Device.Users"}, 0,  // objects first, then parameters by name
       "Type         Access  Perms   Flags  Name\n"
       "object       RW              O      .\n"
       "object       RW      rw----  OM     User.\n"
       "string       RW              R      CurrentUser\n"
       "boolean      RW              R      SystemAccess\n"
       "unsignedInt  RW              R      UserNumberOfEntries\n",
       {R"(GetParameterAttributes {"ParameterNames":["Device.Users."],"Depth":1})"}},
      {{"ls", "--", "-l", "Device.Nope."}, 0, "Type  Access  Perms  Flags  Name\n",
       {R"(GetParameterAttributes {"ParameterNames":["Device.Nope."],"Depth":1})"}},
      // veld describes each parameter; a value loses the quotes a shell would take off.
      {{"set", R"(Device.DeviceInfo.ProvisioningCode="ISP.TEST")", "Device.Time.Enable=false"}, 0,
       "key = Device.DeviceInfo.ProvisioningCode, value = \"ISP.TEST\"\n"
       "key = Device.Time.Enable, value = false\nStatus: OK\n",
       {R"(GetParameterAttributes {"ParameterNames":["Device.DeviceInfo.ProvisioningCode"],)"
        R"("Depth":0})",
        R"(GetParameterAttributes {"ParameterNames":["Device.Time.Enable"],"Depth":0})",
        R"(SetParameterValues {"ParameterList":[{"Name":"Device.DeviceInfo.ProvisioningCode",)"
        R"("Value":"ISP.TEST"},{"Name":"Device.Time.Enable","Value":false}]})"}},
      {{"set", "Device.DeviceInfo.Manufacturer=x"}, 0,  // refused, and still a success
       "key = Device.DeviceInfo.Manufacturer, value = x\n"
       "[9008] Attempt to set a non-writable parameter: no parameter was changed\n"
       "Device.DeviceInfo.Manufacturer: \"9008 Attempt to set a non-writable parameter\"\n",
       {R"(GetParameterAttributes {"ParameterNames":["Device.DeviceInfo.Manufacturer"],)"
        R"("Depth":0})",
        R"(SetParameterValues {"ParameterList":[{"Name":"Device.DeviceInfo.Manufacturer",)"
        R"("Value":"x"}]})"}},
      {{"set", "Device.Nope=1"}, 255,
       "key = Device.Nope, value = 1\nset: Device.Nope: no such node.\nset: no argument.\n",
       {R"(GetParameterAttributes {"ParameterNames":["Device.Nope"],"Depth":0})"}},
      {{"set"}, 255, "set: no argument.\n", {}},
      {{"SetParameterValues", "Device.Time.NTPServer1=ntp.example.net"}, 0,
       "key = Device.Time.NTPServer1, value = ntp.example.net\nStatus: OK\n",
       {R"(GetParameterAttributes {"ParameterNames":["Device.Time.NTPServer1"],"Depth":0})",
        R"(RawSetParameterValues {"ParameterList":[{"Name":"Device.Time.NTPServer1",)"
        R"("Value":"ntp.example.net"}]})"}},
      // add exits with the new instance's number.
      {{"add", "Device.Hosts.Host"}, 6, "Instance number: 6\nStatus: OK\n",
       {R"(AddObject {"ObjectName":"Device.Hosts.Host."})"}},
      {{"touch", "Device.Hosts.Host.", "ignored"}, 7, "Instance number: 7\nStatus: OK\n",
       {R"(AddObject {"ObjectName":"Device.Hosts.Host."})"}},
      {{"add", "Device.DeviceInfo"}, 0,
       "[9005] Invalid parameter name: Device.DeviceInfo.: not a table\n",
       {R"(AddObject {"ObjectName":"Device.DeviceInfo."})"}},
      {{"add", "a", "b", "c"}, 255, "syntax: add <path> [<order_num>]\n", {}},
      {{"del", "Device.Hosts.Host.3"}, 0, "Status: OK\n",
       {R"(DeleteObject {"ObjectName":"Device.Hosts.Host.3."})"}},
      {{"del"}, 255, "syntax: del <path>\n", {}},
      {{"del", "Device.Hosts.Host.999"}, 0,
       "[9005] Invalid parameter name: Device.Hosts.Host.999.: no such node\n",
       {R"(DeleteObject {"ObjectName":"Device.Hosts.Host.999."})"}},
      {{"order", "Device.Firewall.Chain.1.Rule.1", "007"}, 0, "Status: OK\n",
       {R"(ChangeOrder {"ObjectName":"Device.Firewall.Chain.1.Rule.1.","Order":7})"}},
      {{"order", "Device.Firewall.Chain.1.Rule.1", "--", "-1"}, 255,  // "--": not an option
       "order: invalid order integer: -1\n", {}},
      {{"order", "Device.Firewall.Chain.1.Rule.1"}, 255, "syntax: order <path> <order_num>\n", {}},
  };
  run_request_cases(cases);
}

// The shell fed through a pipe: what it printed after the banner. Checks that the shell ended
// cleanly (under the sanitizers, a report makes the status non-zero).
std::string shell(const Emulator& sim, const std::string& input) {
  e2e::Run run = e2e::velc(sim, {}, input);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  size_t at = run.out.find("velc:> ");
  return at == std::string::npos ? run.out : run.out.substr(at);
}

// A fresh shell has fetched nothing below the top: a name typed in another case still finds its
// node (the level is fetched first, then the name matched), and a tree shows the children of a
// node the cache had not asked about.
TEST(DatamodelShell, LevelsNotFetchedYetAreFetchedWhenNeeded) {
  Emulator sim;
  EXPECT_EQ(shell(sim, "cd device.ip.diagnostics.ping\nattr <.nope\n"
                       "tree :Device.DeviceInfo.MemoryStatus\n"),
            "velc:> cd device.ip.diagnostics.ping\n"
            "velc:Device.IP.Diagnostics.Ping> attr <.nope\n"
            "attr: <.nope: no such node\n"
            "velc:Device.IP.Diagnostics.Ping> tree :Device.DeviceInfo.MemoryStatus\n"
            "Device.DeviceInfo.MemoryStatus\n├── Free\n└── Total\n"
            "velc:Device.IP.Diagnostics.Ping> \n");
}

TEST(DatamodelShell, TheSchemaIsFetchedLazilyOnceAndATableInOneGo) {
  Emulator sim({"--hosts", "5000"});
  // Names match without regard to case once their parent was fetched.
  std::string input = "cd Device\ncd DeviceInfo\ncd <\ncd deviceinfo\ncd :Device.Hosts.Host.1\n";
  for (int i = 2; i <= 5000; i += 97) input += "cd :device.hosts.host." + std::to_string(i) + "\n";
  input += "cd <.4999.hostname\npwd\n";
  EXPECT_NE(shell(sim, input).find("\n:Device.Hosts.Host.4999.HostName\n"), std::string::npos);
  EXPECT_EQ(requests(sim, "GetParameterNames").size(), 1u);
  Strings attributes = requests(sim, "GetParameterAttributes");
  ASSERT_EQ(attributes.size(), 5u);  // root, Device, Hosts, the table, its instances
  EXPECT_EQ(attributes[0], R"(GetParameterAttributes {"ParameterNames":["."],"Depth":1})");
  EXPECT_EQ(attributes[1], R"(GetParameterAttributes {"ParameterNames":["Device."],"Depth":1})");
  EXPECT_NE(attributes[4].find(R"("Device.Hosts.Host.5000.")"), std::string::npos);
}

TEST(DatamodelShell, TreesAreDrawn) {
  Emulator sim;
  EXPECT_EQ(shell(sim,
                  "cd Device.Users\nls\ntree\ntree Nope\ncat Nope\n"
                  "catree :Device.DeviceInfo.MemoryStatus\n"),
            "velc:> cd Device.Users\n"
            "velc:Device.Users> ls\n"
            "CurrentUser          User.\n"
            "SystemAccess         UserNumberOfEntries\n"
            "velc:Device.Users> tree\n"
            "Device.Users\n"
            "├── CurrentUser\n"
            "├── SystemAccess\n"
            "├── User\n"
            "│   ├── 1\n"
            "│   ├── 2\n"
            "│   ├── 3\n"
            "│   └── max_instance\n"
            "└── UserNumberOfEntries\n"
            "velc:Device.Users> tree Nope\n"
            "tree: Nope: no such node\n"
            "velc:Device.Users> cat Nope\n"
            "cat: Nope: no such node.\n"
            "velc:Device.Users> catree :Device.DeviceInfo.MemoryStatus\n"
            "Device.DeviceInfo.MemoryStatus.\n"
            "├── Free  = 301456\n"
            "└── Total = 524288\n"
            "velc:Device.Users> \n");
}

}  // namespace

namespace {

// With a schema cache, the instance commands complete the path: an object gets its trailing dot,
// a parameter none, and `take` moves into the instance it added.
TEST(DatamodelShell, InstanceCommandsCompleteTheirPaths) {
  Emulator sim;
  std::string out = shell(sim, "cd Device.Hosts\ntake Host\ndel <.1\ndel <.2.HostName\nup 9\n");
  EXPECT_NE(out.find("Instance number: 6\nStatus: OK\nvelc:Device.Hosts.Host.6> "),
            std::string::npos) << out;
  Strings changes;
  for (const std::string& r : requests(sim))
    if (r.rfind("AddObject", 0) == 0 || r.rfind("DeleteObject", 0) == 0) changes.push_back(r);
  EXPECT_EQ(changes, (Strings{R"(AddObject {"ObjectName":"Device.Hosts.Host."})",
                              R"(DeleteObject {"ObjectName":"Device.Hosts.Host.1."})",
                              R"(DeleteObject {"ObjectName":"Device.Hosts.Host.2.HostName"})"}));
}

}  // namespace

namespace {

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

const char* const kPingInput =
    R"(GetParameterAttributes {"ParameterNames":["Device.IP.Diagnostics.Ping.#input."],"Depth":-1})";

// Request mode has no schema cache: execute asks veld for the method's arguments to convert the
// values, and attr sends its paths as typed.
TEST(MethodsAndAttributes, RequestMode) {
  const RequestCase cases[] = {
      // Found without regard to case, sent as typed: veld knows its arguments by their case.
      {{"execute", "Device.IP.Diagnostics.Ping", "Host=10.0.0.1", "numberofrepetitions=2"}, 255,
       "key = Host, value = 10.0.0.1\nkey = numberofrepetitions, value = 2\n"
       "[9003] Invalid arguments: the method was not run\n"
       "numberofrepetitions: \"9003 Invalid arguments\"\n",
       {kPingInput,
        R"(Execute {"MethodName":"Device.IP.Diagnostics.Ping","ParameterList":[{"Name":"Host",)"
        R"("Value":"10.0.0.1"},{"Name":"numberofrepetitions","Value":2}]})"}},
      {{"execute", "Device.IP.Diagnostics.Ping", "Host=10.0.0.1", "NumberOfRepetitions=2"}, 0,
       "key = Host, value = 10.0.0.1\nkey = NumberOfRepetitions, value = 2\n" + ping_tree(2),
       {kPingInput,
        R"(Execute {"MethodName":"Device.IP.Diagnostics.Ping","ParameterList":[{"Name":"Host",)"
        R"("Value":"10.0.0.1"},{"Name":"NumberOfRepetitions","Value":2}]})"}},
      {{"execute", "Device.IP.Diagnostics.Ping", "Timeout=soon"}, 255,
       "key = Timeout, value = soon\nexecute: Timeout: invalid value soon.\n", {kPingInput}},
      {{"execute", "Device.IP.Diagnostics.Pong", "Host=x"}, 255,
       "execute: Device.IP.Diagnostics.Pong: no such method.\n",
       {R"(GetParameterAttributes {"ParameterNames":["Device.IP.Diagnostics.Pong.#input."],)"
        R"("Depth":-1})"}},
      {{"execute", "Device.System.Reboot", "Force=1"}, 255,
       "execute: this method does not have input arguments.\n",
       {R"(GetParameterAttributes {"ParameterNames":["Device.System.Reboot.#input."],"Depth":-1})"}},
      {{"attr", "Device.DeviceInfo.Manufacturer", "Device.Time."}, 0,
       "Canonical path:     :Device.DeviceInfo.Manufacturer\nType:               string\n"
       "Const:              true\nDefault:            'Kestrel Networks'\n\n"
       "Canonical path:     :Device.Time.\nType:               object\n\n",
       {R"(GetParameterAttributes {"ParameterNames":["Device.DeviceInfo.Manufacturer",)"
        R"("Device.Time."],"Depth":0})"}},
      // As typed: an object without its dot is refused.
      // The line stays alone on standard output; standard error says which path failed and why.
      {{"info", "Device.Time", "Device.DeviceInfo.Manufacturer"}, 255, "info: ERROR\n",
       {R"(GetParameterAttributes {"ParameterNames":["Device.Time",)"
        R"("Device.DeviceInfo.Manufacturer"],"Depth":0})",
        R"(GetParameterAttributes {"ParameterNames":["Device.Time"],"Depth":0})",
        R"(GetParameterAttributes {"ParameterNames":["Device.DeviceInfo.Manufacturer"],)"
        R"("Depth":0})"},
       "info: Device.Time: [9005] Invalid parameter name: Device.Time: an object: its path ends "
       "with a dot\n"},
  };
  run_request_cases(cases);
}

// The same set or execute typed in the shell and given to request mode sends veld the same
// request, with the same JSON types; a value that does not convert is refused by both (and
// fails request mode), never sent.
TEST(OneValueSyntax, TheShellAndRequestModeSendTheSameRequest) {
  const std::string ping = "Device.IP.Diagnostics.Ping";
  auto set_request = [](const std::string& list) {
    return R"(SetParameterValues {"ParameterList":[)" + list + "]}";
  };
  const struct {
    std::string line;   // typed in the shell, as request mode's words after splitting at blanks
    Strings words;      // the same for "velc -r", as a shell script would pass them
    std::string sent;   // the request to veld; empty: refused with `refusal`
    std::string refusal;
  } cases[] = {
      {"set Device.Time.NTPServer1=pool.ntp.org", {"set", "Device.Time.NTPServer1=pool.ntp.org"},
       set_request(R"({"Name":"Device.Time.NTPServer1","Value":"pool.ntp.org"})"), ""},
      {"set Device.DHCPv4.Server.Pool.1.LeaseTime=0x10",
       {"set", "Device.DHCPv4.Server.Pool.1.LeaseTime=0x10"},
       set_request(R"({"Name":"Device.DHCPv4.Server.Pool.1.LeaseTime","Value":16})"), ""},
      {R"(set Device.Time.Enable=FALSE Device.Time.LocalTimeZone="UTC 0")",
       {"set", "Device.Time.Enable=FALSE", R"(Device.Time.LocalTimeZone="UTC 0")"},
       set_request(R"({"Name":"Device.Time.Enable","Value":false},)"
                   R"({"Name":"Device.Time.LocalTimeZone","Value":"UTC 0"})"), ""},
      {"set Device.Time.Enable=maybe", {"set", "Device.Time.Enable=maybe"}, "",
       "set: Device.Time.Enable: invalid value maybe.\n"},
      {"execute " + ping + R"( Host="10.0.0.1" NumberOfRepetitions=2)",
       {"execute", ping, R"(Host="10.0.0.1")", "NumberOfRepetitions=2"},
       R"(Execute {"MethodName":"Device.IP.Diagnostics.Ping","ParameterList":[{"Name":"Host",)"
       R"("Value":"10.0.0.1"},{"Name":"NumberOfRepetitions","Value":2}]})", ""},
      {"execute " + ping + " NumberOfRepetitions=two", {"execute", ping, "NumberOfRepetitions=two"},
       "", "execute: NumberOfRepetitions: invalid value two.\n"},
  };
  auto changes = [](const Emulator& sim) {
    Strings out;
    for (const std::string& r : requests(sim))
      if (r.rfind("SetParameterValues", 0) == 0 || r.rfind("Execute", 0) == 0) out.push_back(r);
    return out;
  };
  Emulator sim;
  for (const auto& c : cases) {
    Strings expected;
    if (!c.sent.empty()) expected.push_back(c.sent);
    sim.clear_requests();
    std::string shown = shell(sim, c.line + "\n");
    EXPECT_EQ(changes(sim), expected) << "shell: " << c.line;
    EXPECT_NE(shown.find(c.refusal), std::string::npos) << shown;

    sim.clear_requests();
    Strings args = {"-r"};
    args.insert(args.end(), c.words.begin(), c.words.end());
    e2e::Run run = e2e::velc(sim, args);
    EXPECT_EQ(changes(sim), expected) << "request: " << c.line;
    EXPECT_NE(run.out.find(c.refusal), std::string::npos) << run.out;
    EXPECT_EQ(run.status, c.sent.empty() ? 255 : 0) << c.line;
  }
}

// In the shell the method and its arguments come from the schema cache, which asks for the
// method by its path without a trailing dot; attr asks for each node in its own spelling.
TEST(MethodsAndAttributes, Shell) {
  Emulator sim;
  EXPECT_EQ(shell(sim,
                  "execute Device.IP.Diagnostics.Ping Host=10.0.0.1\n"
                  "cd Device.DeviceInfo\nattr Manufacturer\nattr\n"
                  "attr :Device.IP.Diagnostics.Ping Nope :\n"),
            "velc:> execute Device.IP.Diagnostics.Ping Host=10.0.0.1\n"
            "key = Host, value = 10.0.0.1\n" + ping_tree(3) +
            "velc:> cd Device.DeviceInfo\n"
            "velc:Device.DeviceInfo> attr Manufacturer\n"
            "Canonical path:     :Device.DeviceInfo.Manufacturer\n"
            "Type:               string\nConst:              true\n"
            "Default:            'Kestrel Networks'\n"
            "velc:Device.DeviceInfo> attr\n"
            "Canonical path:     :Device.DeviceInfo.\nType:               object\n"
            "velc:Device.DeviceInfo> attr :Device.IP.Diagnostics.Ping Nope :\n"
            ":Device.IP.Diagnostics.Ping:\n"
            "Canonical path:     :Device.IP.Diagnostics.Ping\nType:               method\n"
            "Async:              true\nHandler execute:        ipping\n\n"
            "Nope:\nattr: Nope: no such node\n\n"
            "::\nCanonical path:     :\nType:               config root\n"
            "Const:              true\n\n"
            "velc:Device.DeviceInfo> \n");
  Strings sent;
  for (const std::string& r : requests(sim)) {
    bool fetch = r.find(R"("Depth":1)") != std::string::npos;
    bool login = r.rfind("Login", 0) == 0 || r.rfind("Authenticate", 0) == 0 ||
                 r.rfind("Logout", 0) == 0;  // the shell's attempt to log in as the local user
    if (login) continue;
    if (r.rfind("Execute", 0) == 0 || !fetch || r.find("Ping") != std::string::npos)
      sent.push_back(r);
  }
  EXPECT_EQ(sent,
            (Strings{R"(GetParameterAttributes {"ParameterNames":["Device.IP.Diagnostics.Ping"],)"
                     R"("Depth":1})",
                     R"(Execute {"MethodName":"Device.IP.Diagnostics.Ping","ParameterList":)"
                     R"([{"Name":"Host","Value":"10.0.0.1"}]})",
                     R"(GetParameterAttributes {"ParameterNames":)"
                     R"(["Device.DeviceInfo.Manufacturer"],"Depth":0})",
                     R"(GetParameterAttributes {"ParameterNames":["Device.DeviceInfo."],)"
                     R"("Depth":0})",
                     R"(GetParameterAttributes {"ParameterNames":)"
                     R"(["Device.IP.Diagnostics.Ping"],"Depth":0})"}));
}

}  // namespace
