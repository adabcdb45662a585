#include <iterator>
#include <sstream>

#include "engine/test_model.h"

namespace sim {
namespace {

using namespace test;

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
    std::istringstream words(s.target);
    const std::vector<std::string> paths{std::istream_iterator<std::string>(words), {}};
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
  // Missing or misspelled: 9005, naming the path.
  for (const char* path : {"Device.Name.X", "Device.Host", "Device.Host.2.", "Device.Host.01.",
                           "Device.Host.order", "Device.Ping.", "Device.Host.4294967296."}) {
    Reply r = perform({'n', path, ""});
    EXPECT_TRUE(r.fault.code == kInvalidName && r.fault.detail.find(path) != std::string::npos) << path;
  }
}

TEST_F(EngineTest, ParameterValues) {
  // A whole subtree (no template, no method) is in the rights and device tests; counters computed.
  run({{'v', "Device.Host.#template.Name", R"(Device.Host.1.Name="a" Device.Host.3.Name="c")"},
       {'v', "Device.Host.#template.Addr.#template.IP", R"(Device.Host.1.Addr.1.IP="10.0.0.1")"},
       {'v', "Device.Host.3.Addr.#template.IP", ""},
       {'v', "Device.HostCount Device.Name", R"(Device.HostCount=2 Device.Name="box")"},
       {'v', "Device.Ping", R"(Device.Ping.Status="" Device.Ping.SuccessCount=0)"},
       // One bad path fails the whole request.
       {'v', "Device.Name Device.Host.#template.Nope", "9005"}, {'v', "Device.Name Device.Host.5.Name", "9005"}});
}

// Attributes by depth, templates whole, are what velc's schema cache fetches, run end to end.

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
  run({{'x', "Device.Ping", R"(Device.Ping.Status="Complete" Device.Ping.SuccessCount=3)",
        R"([{"Name":"Device.Ping.#input.Host","Value":"10.0.0.1"}])"},
       {'x', "Device.Ping", five, R"([{"Name":"Host","Value":"10.0.0.1"},{"Name":"NumberOfRepetitions","Value":5}])"},
       {'x', "Device.Ping", R"(9007 {"NumberOfRepetitions":"9007 Invalid parameter value"})", R"([{"Name":"NumberOfRepetitions","Value":0}])"},
       // An unknown argument is 9003 in the reply and in its member (9005 is for the method).
       {'x', "Device.Ping", R"(9003 {"Colour":"9003 Invalid arguments"})", R"([{"Name":"Colour","Value":1}])"},
       {'x', "Device.Name", "9005", "[]"}, {'v', "Device.Ping", five}});  // outputs keep the last results
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
       // Sets need w (run by velc's logins); a read-only parameter is still 9008, whatever the rights.
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

TEST_F(EngineTest, AGuestSeesTheWayToWhatItMayReadButNotTheConnectionsUser) {
  caller = with_rights("", R"({"Device.Host.1.Addr.": "r", "Device.Serial": "r", "Device.CurrentUser": "r"})");
  run({{'N', ".",
        "Device.- Device.Serial- Device.Host.- Device.Host.1.- Device.Host.1.Addr.- "
        "Device.Host.1.Addr.1.- Device.Host.1.Addr.1.IP- Device.Host.1.Addr.max_instance- Device.CurrentUser-"},
       {'v', "Device.CurrentUser", "9001"}, {'V', "Device.CurrentUser Device.Serial", R"(Device.Serial="S1")"},
       {'v', "Device.SystemAccess", "9001"}, {'v', "Device.Host.max_instance", "9001"},
       {'a', "Device.", "Device. Device.Serial Device.Host. Device.CurrentUser", "1"}});
  // The refusal's detail, and a logged-in user reading its own name and flag whatever its rights,
  // are run by velc's logins.
}

}  // namespace
}  // namespace sim
