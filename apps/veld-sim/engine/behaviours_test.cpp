// The default model's methods, synthetic hosts, the event router and the relations of a delete.
#include <algorithm>
#include <set>
#include <sstream>

#include "engine/event_router.h"
#include "engine/test_model.h"
#include "model/hosts.h"

namespace sim {
namespace {

using namespace test;

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
  auto debug = [&](const char* args) { return brief(engine.execute(nobody, "Device.System.Debug", members(args))); };
  EXPECT_EQ(debug(R"([{"Name":"Mode","Value":"Temporary"},{"Name":"UserPassword","Value":""}])"), "9001");
  EXPECT_EQ(debug(R"([{"Name":"Mode","Value":"Disabled"}])"), R"(Device.System.Debug.Status="Disabled")");
  // The mode stayed; the password given is never shown again.
  EXPECT_EQ(test::values(engine, {"Device.System.DebugMode", "Device.System.Debug.#input.UserPassword"}),
            R"(Device.System.DebugMode="Disabled" Device.System.Debug.#input.UserPassword="")");
}

TEST(DefaultModel, PingSetsEveryOutput) {
  Engine engine(default_model());
  // Arguments, and the outputs: Status, IPAddressUsed, success and failure counts, average, min, max.
  const std::pair<const char*, const char*> cases[] = {
      // Round trip 39 ms: the slowest reply (41 ms) decides whether all arrive in time.
      {R"([{"Name":"Host","Value":"example.com"},{"Name":"Timeout","Value":41}])",
       R"("Complete" "192.168.1.1" 3 0 39 38 41)"},
      {R"([{"Name":"Host","Value":"example.com"},{"Name":"Timeout","Value":40}])",
       R"("Complete" "192.168.1.1" 0 3 0 0 0)"},
      {R"([{"Name":"Host","Value":"nas.invalid"}])", R"("Error_CannotResolveHostName" "" 0 0 0 0 0)"},  // nothing left behind
  };
  for (const auto& [arguments, expected] : cases) {
    Reply r = engine.execute(test::full_rights(), "Device.IP.Diagnostics.Ping", members(arguments));
    std::string outputs;
    size_t i;
    json_t* e;
    json_array_foreach(json_object_get(r.result_json().get(), "ParameterList"), i, e)
      outputs += (outputs.empty() ? "" : " ") + k::json_dump(json_object_get(e, "Value"), JSON_ENCODE_ANY);
    EXPECT_EQ(outputs, expected) << arguments;
  }
}

TEST(SyntheticHosts, FillTheHostTableWithValidUniqueHosts) {
  auto root = default_model();
  std::string error;
  ASSERT_TRUE(fill_hosts(*root, 5000, error)) << error;
  Engine engine(std::move(root));
  // A refused address stays empty, a repeated one counts once.
  std::istringstream listed(test::values(engine, {"Device.Hosts.Host.#template.IPAddress"}));
  std::set<std::string> addresses;
  for (std::string entry; listed >> entry;) addresses.insert(entry.substr(entry.find('=')));
  EXPECT_EQ(addresses.size(), 5000u);  // their count is read by velc's tests
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

}  // namespace
}  // namespace sim
