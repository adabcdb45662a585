#include "engine/engine.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "engine/event_router.h"
#include "engine/selector.h"
#include "engine/test_model.h"
#include "model/hosts.h"
#include "model/saved_config.h"
#include "testing/temp_dir.h"

namespace sim {
namespace {

using test::brief;
using test::members;

// One operation and the brief of its reply. Ops: n/N names (next level or all), v values
// (target: paths separated by spaces), a attributes (arg: depth), V/A the same ignoring access
// errors, s/r set/raw set (target: the list as JSON), + add, - delete, o order (arg: position),
// x execute (arg: arguments as JSON).
struct Step {
  char op;
  const char* target;
  std::string outcome;
  const char* arg = "";
};

class EngineTest : public ::testing::Test {
 protected:
  EngineTest() : engine(test::test_model_tree()) {
    engine.set_event_sink([this](unsigned group, k::Json data) {
      events.push_back(std::to_string(group) + " " + k::json_dump(data.get(), JSON_COMPACT));
    });
  }
  Reply perform(const Step& s) {
    std::vector<std::string> paths;
    std::istringstream words(s.target);
    for (std::string w; words >> w;) paths.push_back(w);
    switch (s.op) {
      case 'n': return engine.get_parameter_names(caller, s.target, true);
      case 'N': return engine.get_parameter_names(caller, s.target, false);
      case 'v': return engine.get_parameter_values(caller, paths, false);
      case 'V': return engine.get_parameter_values(caller, paths, true);
      case 'a': return engine.get_parameter_attributes(caller, paths, std::atoi(s.arg), false);
      case 'A': return engine.get_parameter_attributes(caller, paths, std::atoi(s.arg), true);
      case 's': return engine.set_parameter_values(caller, members(s.target), false);
      case 'r': return engine.set_parameter_values(caller, members(s.target), true);
      case '+': return engine.add_object(caller, s.target);
      case '-': return engine.delete_object(caller, s.target);
      case 'o': return engine.change_order(caller, s.target, std::atoll(s.arg));
      case 'x': return engine.execute(caller, s.target, members(s.arg));
    }
    return Reply::failure(-1, "no such op");
  }
  void run(const std::vector<Step>& steps) {
    for (const Step& s : steps)
      EXPECT_EQ(brief(perform(s)), s.outcome) << s.op << " " << s.target << " " << s.arg;
  }
  Engine engine;
  Caller caller = test::full_rights();
  std::vector<std::string> events;
};

TEST_F(EngineTest, ParameterNamesWithWritableFlags) {
  run({{'n', ".", "Device.-"},
       {'n', "Device.",
        "Device.Name+ Device.Serial- Device.Model- Device.Level+ Device.Secret+ Device.HostCount- "
        "Device.Host.+ Device.Rule.+ Device.Fixed.- Device.Ping- Device.CurrentUser- "
        "Device.SystemAccess-"},
       {'n', "Device.Rule.",
        "Device.Rule.3.+ Device.Rule.1.+ Device.Rule.2.+ Device.Rule.max_instance- Device.Rule.order-"},
       {'n', "Device.Name", ""},
       {'n', "Device.Ping", "Device.Ping.#input.- Device.Ping.Status- Device.Ping.SuccessCount-"}});
}

TEST_F(EngineTest, MissingOrMisspelledPathsGive9005NamingThePath) {
  for (const char* path : {"Device.Name.X", "Device.Host", "Device.Host.2.", "Device.Host.01.",
                           "Device.Host.order", "Device.Ping.", "Device.Host.4294967296."}) {
    Reply r = engine.get_parameter_names(caller, path, true);
    EXPECT_EQ(r.fault.code, kInvalidName) << path;
    EXPECT_NE(r.fault.detail.find(path), std::string::npos) << r.fault.detail;
  }
}

TEST_F(EngineTest, ParameterValues) {
  // No template, no method; secrets empty, counters and pseudo-parameters computed.
  run({{'v', ".",
        R"(Device.Name="box" Device.Serial="S1" Device.Model="M" Device.Level=5 Device.Secret="" )"
        R"(Device.HostCount=2 Device.Host.1.Name="a" Device.Host.1.Up=true )"
        R"(Device.Host.1.Addr.1.IP="10.0.0.1" Device.Host.1.Addr.max_instance=1 Device.Host.3.Name="c" )"
        R"(Device.Host.3.Up=false Device.Host.3.Addr.max_instance=0 Device.Host.max_instance=3 )"
        R"(Device.Rule.3.Port=443 Device.Rule.1.Port=22 Device.Rule.2.Port=80 )"
        R"(Device.Rule.max_instance=3 Device.Rule.order=[3,1,2] Device.Fixed.1.X=0 )"
        R"(Device.Fixed.max_instance=1 Device.CurrentUser="tester" Device.SystemAccess=true)"},
       {'v', "Device.Host.#template.Name", R"(Device.Host.1.Name="a" Device.Host.3.Name="c")"},
       {'v', "Device.Host.#template.Addr.#template.IP", R"(Device.Host.1.Addr.1.IP="10.0.0.1")"},
       {'v', "Device.Host.3.Addr.#template.IP", ""},
       {'v', "Device.Level Device.Name", R"(Device.Level=5 Device.Name="box")"},
       {'v', "Device.Ping", R"(Device.Ping.Status="" Device.Ping.SuccessCount=0)"},
       // One bad path fails the whole request.
       {'v', "Device.Name Device.Host.#template.Nope", "9005"}, {'v', "Device.Name Device.Host.5.Name", "9005"}});
}

TEST_F(EngineTest, ParameterAttributesByDepth) {
  // A template or an argument list comes whole, whatever the depth.
  run({{'a', "Device.Host.",
        "Device.Host. Device.Host.#template. Device.Host.#template.Name Device.Host.#template.Up "
        "Device.Host.#template.Addr. Device.Host.#template.Addr.#template. "
        "Device.Host.#template.Addr.#template.IP Device.Host.#template.Addr.max_instance "
        "Device.Host.1. Device.Host.3. Device.Host.max_instance", "1"},
       {'a', "Device.Host.3.",
        "Device.Host.3. Device.Host.3.Name Device.Host.3.Up Device.Host.3.Addr. "
        "Device.Host.3.Addr.#template. Device.Host.3.Addr.#template.IP "
        "Device.Host.3.Addr.max_instance", "-1"},
       {'a', "Device.Nope.", "9005", "0"}});
}

TEST_F(EngineTest, SetChecksEveryMemberAndIsAllOrNothing) {
  run({{'s', R"([{"Name":"Device.Name","Value":1},{"Name":"Device.Serial","Value":"x"},)"
             R"({"Name":"Device.Model","Value":"x"},{"Name":"Device.Host.max_instance","Value":9},)"
             R"({"Name":"Device.Nope","Value":1},{"Name":"Device.Host.","Value":1},)"
             R"({"Name":"Device.Host.#template.Name","Value":"z"},{"Name":"Device.Host.3.Name","Value":"a"}])",
        R"(9003 {"Device.Name":"9006 Invalid parameter type","Device.Serial":"9008 Attempt to set a )"
        R"(non-writable parameter","Device.Model":"9008 Attempt to set a non-writable parameter",)"
        R"("Device.Host.max_instance":"9008 Attempt to set a non-writable parameter","Device.Nope":)"
        R"("9005 Invalid parameter name","Device.Host.":"9005 Invalid parameter name",)"
        R"("Device.Host.#template.Name":"9005 Invalid parameter name","Device.Host.3.Name":)"
        R"("9007 Invalid parameter value"})"},
       {'s', R"([{"Name":"Device.Name","Value":"new"},{"Name":"Device.Level","Value":99}])", R"(9007 {"Device.Level":"9007 Invalid parameter value"})"},
       {'v', "Device.Name", R"(Device.Name="box")"},
       {'s', R"([{"Name":"Device.Name","Value":"new"},{"Name":"Device.Secret","Value":"pw"},{"Name":"Device.Host.3.Name","Value":"b"}])", ""},
       {'v', "Device.Name Device.Secret", R"(Device.Name="new" Device.Secret="")"},
       // Listings are written as text: what needs escaping must come back as it was set.
       {'s', R"([{"Name":"Device.Name","Value":"\"\\/\u0001\u001fé€"}])", ""},
       {'v', "Device.Name", R"(Device.Name="\"\\/\u0001\u001Fé€")"},
       // Raw: texts are converted by the parameter's type, other values taken as they are.
       {'r', R"([{"Name":"Device.Level","Value":"abc"},{"Name":"Device.Host.3.Up","Value":"11"}])",
        R"(9003 {"Device.Level":"9007 Invalid parameter value","Device.Host.3.Up":"9007 Invalid parameter value"})"},
       {'r', R"([{"Name":"Device.Level","Value":"0x0a"},{"Name":"Device.Host.3.Up","Value":"true"},)"
             R"({"Name":"Device.Name","Value":"42"},{"Name":"Device.Host.1.Up","Value":false}])", ""},
       {'v', "Device.Level Device.Host.3.Up Device.Name Device.Host.1.Up",
        R"(Device.Level=10 Device.Host.3.Up=true Device.Name="42" Device.Host.1.Up=false)"}});
}

TEST_F(EngineTest, UniqueValuesAreJudgedAsTheWholeSetWouldLeaveThem) {
  auto names = [](const char* one, const char* three) {
    return std::string(R"(Device.Host.1.Name=")") + one + R"(" Device.Host.3.Name=")" + three + '"';
  };
  const char* both = "Device.Host.1.Name Device.Host.3.Name";
  run({// Two instances given one value: the later member fails, nothing is written.
       {'s', R"([{"Name":"Device.Host.1.Name","Value":"x"},{"Name":"Device.Host.3.Name","Value":"x"}])",
        R"(9007 {"Device.Host.3.Name":"9007 Invalid parameter value"})"},
       {'v', both, names("a", "c")},
       // A swap, and a value freed by another member of the same request, are fine.
       {'s', R"([{"Name":"Device.Host.1.Name","Value":"c"},{"Name":"Device.Host.3.Name","Value":"a"}])", ""},
       {'v', both, names("c", "a")},
       // A parameter named twice is judged by its last value (another instance keeps "a").
       {'s', R"([{"Name":"Device.Host.1.Name","Value":"q"},{"Name":"Device.Host.1.Name","Value":"a"}])",
        R"(9007 {"Device.Host.1.Name":"9007 Invalid parameter value"})"},
       {'s', R"([{"Name":"Device.Host.1.Name","Value":"a"},{"Name":"Device.Host.1.Name","Value":"q"}])", ""},
       {'v', both, names("q", "a")},
       // The empty text may repeat.
       {'s', R"([{"Name":"Device.Host.1.Name","Value":""},{"Name":"Device.Host.3.Name","Value":""}])", ""}});
}

TEST_F(EngineTest, AddDeleteAndOrder) {
  run({{'+', "Device.Host.", "#4"},
       {'v', "Device.Host.4.", R"(Device.Host.4.Name="" Device.Host.4.Up=false Device.Host.4.Addr.max_instance=0)"},
       {'+', "Device.Host.", "9004"}, {'-', "Device.Host.4.", ""}, {'-', "Device.Host.4.", "9005"},
       {'+', "Device.Host.", "#5"},  // numbers are not given out twice
       {'+', "Device.Fixed.", "9001"}, {'-', "Device.Fixed.1.", "9001"}, {'+', "Device.Name", "9005"},
       {'+', "Device.Host.#template.Addr.", "9005"}, {'+', "Device.Host.1.", "9005"},
       {'-', "Device.Host.", "9005"}, {'-', "Device.Host.#template.", "9005"},
       {'-', "Device.Host.max_instance", "9005"}, {'+', "Device.Host.1.Addr.", "#2"},
       {'o', "Device.Rule.2.", "", "1"}, {'v', "Device.Rule.order", "Device.Rule.order=[2,3,1]"},
       {'o', "Device.Rule.2.", "", "99"}, {'v', "Device.Rule.order", "Device.Rule.order=[3,1,2]"},
       {'o', "Device.Rule.2.", "", "2"}, {'o', "Device.Rule.3.", "9003", "0"},
       {'o', "Device.Rule.7.", "9005", "1"}, {'o', "Device.Host.1.", "9005", "1"},
       {'o', "Device.Rule.", "9005", "1"}, {'+', "Device.Rule.", "#4"}, {'-', "Device.Rule.1.", ""},
       {'v', "Device.Rule.order Device.Host.max_instance", "Device.Rule.order=[3,2,4] Device.Host.max_instance=5"},
       // A table keeps its minimum of instances.
       {'-', "Device.Rule.3.", ""}, {'-', "Device.Rule.2.", "9001"}, {'v', "Device.Rule.order", "Device.Rule.order=[2,4]"}});
  ASSERT_EQ(events.size(), 7u);  // each add and delete, announced to group 4
  EXPECT_EQ(events[2], R"(4 {"Action":"Add","Path":"Device.Host.","InstanceNumber":5})");
  EXPECT_EQ(events[3], R"(4 {"Action":"Add","Path":"Device.Host.1.Addr.","InstanceNumber":2})");
  EXPECT_EQ(events[6], R"(4 {"Action":"Delete","Path":"Device.Rule.3.","InstanceNumber":3})");
}

TEST_F(EngineTest, Execute) {
  const char* five = R"(Device.Ping.Status="Complete" Device.Ping.SuccessCount=5)";
  run({{'x', "Device.Ping", R"(Device.Ping.Status="Error_CannotResolveHostName" Device.Ping.SuccessCount=0)", "[]"},
       {'x', "Device.Ping", R"(Device.Ping.Status="Complete" Device.Ping.SuccessCount=3)",
        R"([{"Name":"Device.Ping.#input.Host","Value":"10.0.0.1"}])"},
       {'x', "Device.Ping", five, R"([{"Name":"Host","Value":"10.0.0.1"},{"Name":"NumberOfRepetitions","Value":5}])"},
       {'x', "Device.Ping", R"(9007 {"NumberOfRepetitions":"9007 Invalid parameter value"})", R"([{"Name":"NumberOfRepetitions","Value":0}])"},
       // An unknown argument is 9003 in the reply and in its member (9005 is for the method).
       {'x', "Device.Ping", R"(9003 {"Colour":"9003 Invalid arguments"})", R"([{"Name":"Colour","Value":1}])"},
       {'x', "Device.Name", "9005", "[]"}, {'v', "Device.Ping", five}});  // outputs keep the last results
}

// A caller with these rules ({path: letters}), logged in as `user` ("" a guest).
Caller with_rights(const char* user, const char* rules) {
  Caller c;
  c.user = user;
  std::string error;
  EXPECT_TRUE(parse_rights(k::json_parse(rules).get(), c.rights, error)) << error;
  return c;
}

TEST_F(EngineTest, EachMethodAsksForItsRightAndTheRestIsAsBefore) {
  caller = with_rights("lim", R"({".": "r", "Device.Level": "", "Device.Host.": "rwa",
      "Device.Host.3.": "d", "Device.Rule.": "rd"})");
  run({// Names: the unreadable left out, "Writable" as far as the rights go too.
       {'n', "Device.",
        "Device.Name- Device.Serial- Device.Model- Device.Secret- Device.HostCount- Device.Host.+ "
        "Device.Rule.- Device.Fixed.- Device.Ping- Device.CurrentUser- Device.SystemAccess-"},
       {'n', "Device.Host.", "Device.Host.1.- Device.Host.max_instance-"},
       {'N', "Device.Level", "9001"}, {'N', "Device.Host.3.", "9001"},
       {'n', "Device.Rule.", "Device.Rule.3.+ Device.Rule.1.+ Device.Rule.2.+ Device.Rule.max_instance- Device.Rule.order-"},
       // Values: left out below an object, refused when named, unless access errors are ignored.
       {'v', "Device.Host.",
        R"(Device.Host.1.Name="a" Device.Host.1.Up=true Device.Host.1.Addr.1.IP="10.0.0.1" )"
        R"(Device.Host.1.Addr.max_instance=1 Device.Host.max_instance=3)"},
       {'v', "Device.Level", "9001"}, {'v', "Device.Name Device.Host.3.Name", "9001"},
       {'V', "Device.Name Device.Level Device.Host.3. Device.Host.3.Name", R"(Device.Name="box")"},
       // Attributes likewise.
       {'a', "Device.Level", "9001", "0"}, {'A', "Device.Level Device.Name", "Device.Name", "0"},
       // Sets need w; a read-only parameter is still 9008, whatever the rights.
       {'s', R"([{"Name":"Device.Name","Value":"x"}])", R"(9001 {"Device.Name":"9001 Request denied"})"},
       {'s', R"([{"Name":"Device.Serial","Value":"x"}])",
        R"(9008 {"Device.Serial":"9008 Attempt to set a non-writable parameter"})"},
       {'r', R"([{"Name":"Device.Host.1.Up","Value":"false"},{"Name":"Device.Level","Value":"6"}])",
        R"(9001 {"Device.Level":"9001 Request denied"})"},
       {'v', "Device.Host.1.Up", "Device.Host.1.Up=true"},  // all or nothing
       {'s', R"([{"Name":"Device.Host.1.Up","Value":false}])", ""},
       // Add needs a, delete d (even of what the caller cannot read), order w, execute x.
       {'+', "Device.Host.", "#4"}, {'+', "Device.Rule.", "9001"},
       {'-', "Device.Host.1.", "9001"}, {'-', "Device.Host.3.", ""}, {'-', "Device.Rule.2.", ""},
       {'o', "Device.Rule.1.", "9001", "2"}, {'x', "Device.Ping", "9001", "[]"},
       {'+', "Device.Fixed.", "9001"}});
  EXPECT_EQ(events.size(), 3u);  // the add and the two deletes
}

TEST_F(EngineTest, AGuestSeesTheWayToWhatItMayReadButNotTheConnectionsUserALoggedInUserDoes) {
  caller = with_rights("", R"({"Device.Host.1.Addr.": "r", "Device.Serial": "r", "Device.CurrentUser": "r"})");
  run({{'N', ".",
        "Device.- Device.Serial- Device.Host.- Device.Host.1.- Device.Host.1.Addr.- "
        "Device.Host.1.Addr.1.- Device.Host.1.Addr.1.IP- Device.Host.1.Addr.max_instance- Device.CurrentUser-"},
       {'v', "Device.CurrentUser", "9001"}, {'V', "Device.CurrentUser Device.Serial", R"(Device.Serial="S1")"},
       {'v', "Device.SystemAccess", "9001"}, {'v', "Device.Host.max_instance", "9001"},
       {'a', "Device.", "Device. Device.Serial Device.Host. Device.CurrentUser", "1"}});
  EXPECT_EQ(engine.get_parameter_values(caller, {"Device.CurrentUser"}, false).fault.detail,
            "nobody is logged in");
  // A logged-in user reads its own name and flag whatever its rights.
  caller = with_rights("u", R"({"Device.Host.1.Up": "r"})");
  caller.system_access = true;
  run({{'v', "Device.CurrentUser Device.SystemAccess", R"(Device.CurrentUser="u" Device.SystemAccess=true)"},
       {'v', "Device.", R"(Device.Host.1.Up=true Device.CurrentUser="u" Device.SystemAccess=true)"},
       {'v', "Device.Serial", "9001"}});
}

std::unique_ptr<Node> default_model(Accounts* accounts = nullptr) {
  std::string error;
  auto root = load_model_file(VELD_SIM_DEFAULT_MODEL, error, accounts);
  EXPECT_NE(root, nullptr) << error;
  return root;
}

TEST(DefaultModel, MethodsActOnTheirTargets) {
  Engine engine(default_model());
  ASSERT_TRUE(engine.execute(test::full_rights(), "Device.IP.Interface.2.Reset", {}).ok());
  EXPECT_EQ(test::values(engine, {"Device.IP.Interface.2.Stats.BytesSent"}),
            "Device.IP.Interface.2.Stats.BytesSent=0");
}

// The administrator's own password is run through velc; here what velc cannot show.
TEST(DefaultModel, DebuggingIsTurnedOnOnlyWithTheCallersOwnPassword) {
  Engine engine(default_model());
  Caller nobody = test::full_rights();  // a guest that may execute anything
  nobody.user.clear();
  const struct {
    const char* arguments;
    const char* outcome;
  } cases[] = {
      {R"([{"Name":"Mode","Value":"Temporary"},{"Name":"UserPassword","Value":""}])", "9001"},
      {R"([{"Name":"Mode","Value":"Disabled"}])", R"(Device.System.Debug.Status="Disabled")"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(brief(engine.execute(nobody, "Device.System.Debug", members(c.arguments))), c.outcome);
    // The mode stays; the password given is never shown again.
    EXPECT_EQ(test::values(engine, {"Device.System.DebugMode", "Device.System.Debug.#input.UserPassword"}),
              R"(Device.System.DebugMode="Disabled" Device.System.Debug.#input.UserPassword="")");
  }
}

TEST(DefaultModel, PingSetsEveryOutput) {
  Engine engine(default_model());
  const struct {
    const char* arguments;
    const char* outputs;  // Status, IPAddressUsed, success and failure counts, average, min, max
  } cases[] = {
      // Round trip 39 ms: the slowest reply (41 ms) decides whether all arrive in time.
      {R"([{"Name":"Host","Value":"example.com"},{"Name":"Timeout","Value":41}])",
       R"("Complete" "192.168.1.1" 3 0 39 38 41)"},
      {R"([{"Name":"Host","Value":"example.com"},{"Name":"Timeout","Value":40}])",
       R"("Complete" "192.168.1.1" 0 3 0 0 0)"},
      {R"([{"Name":"Host","Value":"nas.invalid"}])", R"("Error_CannotResolveHostName" "" 0 0 0 0 0)"},  // nothing left behind
  };
  for (const auto& c : cases) {
    Reply r = engine.execute(test::full_rights(), "Device.IP.Diagnostics.Ping", members(c.arguments));
    std::string outputs;
    size_t i;
    json_t* e;
    json_array_foreach(json_object_get(r.result_json().get(), "ParameterList"), i, e)
      outputs += (outputs.empty() ? "" : " ") + k::json_dump(json_object_get(e, "Value"), JSON_ENCODE_ANY);
    EXPECT_EQ(outputs, c.outputs) << c.arguments;
  }
}

TEST(SyntheticHosts, FillTheHostTableWithValidUniqueHosts) {
  auto root = default_model();
  std::string error;
  ASSERT_TRUE(fill_hosts(*root, 5000, error)) << error;
  Engine engine(std::move(root));
  k::Json result = engine.get_parameter_values(test::full_rights(), {"Device.Hosts.Host.#template.IPAddress"}, false).result_json();
  std::set<std::string> addresses;  // a refused address stays empty, a repeated one counts once
  size_t i;
  json_t* e;
  json_array_foreach(json_object_get(result.get(), "ParameterList"), i, e)
    addresses.insert(k::json_text(e, "Value"));
  EXPECT_EQ(addresses.size(), 5000u);
  EXPECT_EQ(test::values(engine, {"Device.Hosts.HostNumberOfEntries"}),
            "Device.Hosts.HostNumberOfEntries=5000");
}

struct Join {
  ConnId conn;
  unsigned group;
  const char* session;
  bool receiver;
};

TEST(EventRouter, Recipients) {
  const std::vector<Join> mixed = {
      {1, 12, "a", true}, {2, 12, "a", false}, {3, 12, "", false}, {4, 12, "c", false}};
  const struct {
    std::vector<Join> joins;
    std::vector<ConnId> forgotten;
    unsigned group;
    ConnId sender;  // 0: none (a change event)
    std::vector<ConnId> expected;
  } cases[] = {
      // A session's events go to its receiver once, whichever of its connections joined.
      {{{1, 4, "a", true}, {2, 9, "a", false}, {3, 9, "a", false}}, {}, 9, 0, {1}},
      // Relayed events skip the sender's whole session.
      {mixed, {}, 12, 2, {3, 4}},
      {mixed, {}, 12, 3, {1, 4}},
      // Without its receiver a session gets events on the joining connections.
      {{{1, 4, "a", true}, {2, 4, "a", false}}, {1}, 4, 0, {2}},
      // A connection that changes session leaves the old one (and its receiver role).
      {{{1, 4, "a", true}, {2, 4, "a", false}, {1, 4, "b", false}}, {}, 4, 0, {1, 2}},
      // "Receiver": false takes the role from nobody; an empty session keeps the connection's.
      {{{1, 4, "a", true}, {1, 9, "a", false}, {2, 9, "a", false}}, {}, 9, 0, {1}},
      {{{1, 4, "a", true}, {2, 4, "a", false}, {2, 9, "", false}}, {}, 9, 0, {1}},
      // The last connection to join as receiver is the session's receiver.
      {{{1, 4, "a", true}, {2, 4, "a", true}}, {}, 4, 0, {2}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    EventRouter r;
    for (const Join& j : c.joins) r.join(j.conn, j.group, j.session, j.receiver);
    for (ConnId f : c.forgotten) r.forget(f);
    std::vector<ConnId> got = r.recipients(c.group, c.sender ? &c.sender : nullptr);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, c.expected) << "case " << i;
  }
}

// Ports are referred to by pins (which forbid deleting the port), by lines (deleted with the
// port), by links (the reference cleared) and by notes (left alone).
constexpr const char* kModel = R"({
 "Port": {"#attr": {"type": "object", "multi": true, "access": "readWrite", "relations": [
    {"verdict": 0, "match": "Pin.*.Port"}, {"verdict": 1, "match": "Line.*.Port"},
    {"verdict": 2, "match": "Link.*.Ports"}, {"verdict": 3, "match": "Note.*.Port"}]},
  "#template": {}, "1": {}, "2": {}, "3": {}},
 "Pin": {"#attr": {"type": "object", "multi": true, "access": "readWrite"},
  "#template": {"Port": {"#attr": {"type": "path", "access": "readWrite", "default": ""}}}, "1": {"Port": "Port.3"}},
 "Line": {"#attr": {"type": "object", "multi": true, "access": "readWrite"},
  "#template": {"Port": {"#attr": {"type": "path", "access": "readWrite", "default": ""}}},
  "1": {"Port": "Port.1."}, "2": {"Port": "Port.2"}, "3": {"Port": "Port.1"}},
 "Link": {"#attr": {"type": "object", "multi": true, "access": "readWrite"},
  "#template": {"Ports": {"#attr": {"type": "list", "access": "readWrite", "default": ""}}},
  "1": {"Ports": "Port.2,Port.1,Port.10,Port.1."}, "2": {"Ports": "Port.1"}, "3": {"Ports": "Port.11"}},
 "Note": {"#attr": {"type": "object", "multi": true, "access": "readWrite"},
  "#template": {"Port": {"#attr": {"type": "path", "access": "readWrite", "default": ""}}}, "1": {"Port": "Port.1"}}
})";

TEST(Relations, DeleteClearsCascadesLeavesOrIsDeniedAndACascadeNeedsEveryRightItTakes) {
  Engine engine(test::model_tree(kModel));
  std::vector<std::string> events;
  engine.set_event_sink(
      [&](unsigned, k::Json data) { events.push_back(k::json_text(data.get(), "Path")); });
  auto values = [&](const char* path) { return test::values(engine, {path}); };
  // Port.1 takes Line.1 and Line.3 along: a caller who may not delete Line.3 changes nothing.
  Caller caller = with_rights("u", R"({".": "r", "Port.": "d", "Line.1.": "d"})");
  EXPECT_EQ(brief(engine.delete_object(caller, "Port.1.")), "9001");
  EXPECT_EQ(values("Link.2.Ports"), R"(Link.2.Ports="Port.1")");
  caller.rights.rules.push_back({"Line.", kRightDelete});
  ASSERT_TRUE(engine.delete_object(caller, "Port.1.").ok());
  EXPECT_EQ(events, (std::vector<std::string>{"Port.1.", "Line.1.", "Line.3."}));
  EXPECT_EQ(values("Line."), R"(Line.2.Port="Port.2" Line.max_instance=3)");
  EXPECT_EQ(values("Link.#template.Ports"),
            R"(Link.1.Ports="Port.2,Port.10" Link.2.Ports="" Link.3.Ports="Port.11")");
  EXPECT_EQ(values("Note.1.Port"), R"(Note.1.Port="Port.1")");

  Reply r = engine.delete_object(test::full_rights(), "Port.3.");
  EXPECT_TRUE(r.fault.code == kRequestDenied && r.fault.detail.find("Pin.1.Port") != std::string::npos);
  EXPECT_EQ(events.size(), 3u);
  EXPECT_TRUE(engine.get_parameter_names(test::full_rights(), "Port.3.", false).ok());
}

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
  const char* rules = R"({"Device.Host.": "r", "Device.Host.3.": "", "Device.Host.1.Up": "", "Device.CurrentUser": "r"})";
  Caller limited = with_rights("lim", rules), guest = with_rights("", rules);
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
  for (const auto& c : cases) EXPECT_EQ(selected(engine.select(c.caller, c.selector)), c.outcome) << c.selector;
}

// A parsed selector written back: names as they are, "*", conditions as [param=“value”&...]
// with their values quoted, "." after each element but the last, and one more for an object.
std::string shape(const Selector& sel) {
  std::string out;
  for (const SelectorElement& e : sel.elements) {
    if (!out.empty()) out += '.';
    if (e.kind == SelectorElement::Kind::kName) out += e.name;
    if (e.kind == SelectorElement::Kind::kEvery) out += '*';
    if (e.kind != SelectorElement::Kind::kWhere) continue;
    out += '[';
    for (const SelectorCondition& c : e.conditions)
      out += (out.back() == '[' ? "" : "&") + c.param + (c.equal ? "=" : "!=") + "\"" + c.value + "\"";
    out += ']';
  }
  return sel.object ? out + "." : out;
}

TEST(Selector, ReadsNamesWildcardsAndConditionsOrSaysWhatIsWrongAndWhere) {
  const struct {
    const char* text;
    const char* read;  // its shape, or "! " and the error
  } cases[] = {
      {"Device.Hosts.Host.*.HostName", "Device.Hosts.Host.*.HostName"},
      // Blanks around operators and values go; blanks inside a value stay; a value may be empty
      // and hold dots, "=" and "[".
      {"  D.T.[ A =  my home  &B!=].  ", R"(D.T.[A="my home"&B!=""].)"},
      {"D.T.[Stats.Errors=0&IP=10.0.0.1&X==1&Y=[a].*.", R"(D.T.[Stats.Errors="0"&IP="10.0.0.1"&X="=1"&Y="[a"].*.)"},
      {"D.T.[A=1].[B!=2].C", R"(D.T.[A="1"].[B!="2"].C)"},
      {".", "."},
      {"", "! the selector is empty"},
      {"Device..Hosts", "! Device..Hosts: an empty element at character 8"},
      {" D.T.[A=1", "!  D.T.[A=1: \"[\" without \"]\" at character 6"},
      {"D.T.[A=1]x.", "! D.T.[A=1]x.: \"]\" not followed by \".\" at character 10"},
      {"D.T.[]", "! D.T.[]: an empty condition at character 6"},
      {"D.T.[Active]", "! D.T.[Active]: a condition without \"=\" or \"!=\" at character 6"},
      {"D.T.[!=1]", "! D.T.[!=1]: a condition without a parameter at character 6"},
      {"D.T.[A B=1]", "! D.T.[A B=1]: a bad parameter name at character 6"},
      {"D.Host[1].X", "! D.Host[1].X: \"[\" inside an element at character 7"},
      {"D.T.1*.", "! D.T.1*.: \"*\" not alone in its element at character 6"},
  };
  for (const auto& c : cases) {
    Selector sel;
    std::string error;
    EXPECT_EQ(parse_selector(c.text, sel, error) ? shape(sel) : "! " + error, c.read) << c.text;
  }
}

// The device-wide methods of the engine: Reboot, FactoryReset and SaveConfig, the state folder,
// and the shapes of their params.

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
  const struct {
    Reply reply;
    const char* fault;
  } cases[] = {
      {engine.reboot("Gateway", false),
       "9007 DeviceMode \"Gateway\": not one of the enumerated values (Router, Bridge)"},
      {engine.save_config(std::string(65, 'x')), "9007 RestorePointName must have 1 to 64 bytes"},
  };
  for (const auto& c : cases) EXPECT_EQ(fault(c.reply), c.fault);
  EXPECT_FALSE(engine.take_reboot());
  EXPECT_FALSE(std::filesystem::exists(state));
  EXPECT_TRUE(events.empty());

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
  ASSERT_TRUE(request);
  EXPECT_EQ(request->device_mode, "Bridge");
  EXPECT_TRUE(request->force);
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

  ASSERT_EQ(brief(engine.set_parameter_values(admin, members(R"([{"Name":"Device.Name","Value":"unsaved"}])"), false)), "");
  std::string error;
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
  EXPECT_FALSE(std::filesystem::exists(saved_config_file(state)));
  EXPECT_TRUE(std::filesystem::exists(state + "/restore-points/mine.json"));
  // Host 4 held Addr 1: it goes with its instance. Rule 4 had gone before.
  EXPECT_EQ(events, (std::vector<std::string>{
                        R"(4 {"Action":"Delete","Path":"Device.Host.4.","InstanceNumber":4})",
                        R"(4 {"Action":"Add","Path":"Device.Host.","InstanceNumber":3})"}));

  // Once more with a mode: only the mode changes; a boot finds nothing saved.
  ASSERT_EQ(brief(engine.factory_reset("Bridge")), "");
  EXPECT_EQ(test::values(engine, {"Device.DeviceInfo.DeviceMode"}), R"(Device.DeviceInfo.DeviceMode="Bridge")");
  std::string error;
  ASSERT_TRUE(engine.boot(error)) << error;
  EXPECT_EQ(everything(engine), factory);
}

}  // namespace
}  // namespace sim
