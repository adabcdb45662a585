#include "model_load.h"

#include <gtest/gtest.h>

#include <set>

#include "authentication.h"
#include "engine.h"
#include "hosts.h"
#include "test_model.h"

namespace sim {
namespace {

#define TABLE(extra) \
  R"({"T": {"#attr": {"type": "object", "multi": true}, "#template": {"P": {"#attr": {"type": "int", "access": "readWrite", "default": 0}}})" extra "}}"
#define ORDERED(extra) \
  R"({"T": {"#attr": {"type": "object", "multi": true, "ordered": true}, "#template": {}, "1": {}, "2": {})" extra "}}"

TEST(LoadModel, ErrorsNameThePathAndTheReason) {
  const struct {
    const char* model;
    const char* error;  // expected part of the error text
  } cases[] = {
      {R"({"A": {"#attr": {"type": "string"}}})", "A: a parameter needs a \"default\""},
      {R"({"A": {"#attr": {"type": "string", "default": null}}})", "A: a \"default\" is a text"},
      {R"({"A": {"#attr": {"type": "object", "multi": true}}})", "A: a table needs \"#template\""},
      {R"({"A": {"#bogus": 1}})", "A: unexpected key #bogus"},
      {R"({"A.B": {}})", "bad element name"},
      {TABLE(R"(, "01": {})"), "T: \"01\" is not an instance number"},
      {TABLE(R"(, "1": {"P": "one"})"), "T.1.P: bad value"},
      {TABLE(R"(, "1": {"Q": 1})"), "T.1.Q: not in the template"},
      {TABLE(R"(, "#order": [1])"), "not ordered"},
      {ORDERED(R"(, "#order": [1, 1])"), "must name every instance once"},
      {ORDERED(R"(, "#order": [1, 3])"), "names an instance the table lacks"},
      {R"({"A": {"#attr": {"type": "string", "regex": "[", "default": ""}}})", "regex does not compile"},
      {R"({"T": {"#attr": {"type": "object", "multi": true}, "#template": {"U": {"#attr": {"type": "object", "multi": true}, "#template": {}, "1": {}}}}})",
       "holds no instances"},
      {R"({"M": {"#attr": {"type": "method"}, "#input": {"O": {}}}})", "an argument must be a parameter"},
      {R"({"T": {"#attr": {"multi": true}, "#template": {}}})", "T: a table needs \"type\": \"object\""},
      {R"({"A": {"#attr": {"type": "string", "multi": true, "default": ""}}})", "A: \"multi\": true is for objects"},
      {R"({"T": {"#attr": {"type": "object", "multi": true}, "#template": {"U": {"#attr": {"type": "string", "unique": true, "default": ""}}}, "1": {"U": "x"}, "2": {"U": ""}, "3": {"U": "x"}}})",
       "T.3.U: bad value: instance 1 holds it already"},
      // Behaviours: a known handler of the node's kind, with a target exactly when it uses one.
      {R"({"A": {"#attr": {"type": "int", "default": 0}, "#handler": "uptme"}})", "A: unknown handler \"uptme\""},
      {R"({"A": {"#attr": {"type": "int", "default": 0}, "#handler": 5}})", "A: \"#handler\" must be a text"},
      {R"({"A": {"#attr": {"type": "string", "default": ""}, "#handler": "ping"}})", "A: \"ping\" is a handler of methods, not of parameters"},
      {R"({"M": {"#attr": {"type": "method"}, "#handler": "secret"}})", "M: \"secret\" is a handler of parameters, not of methods"},
      {R"({"A": {"#attr": {"type": "int", "default": 0}, "#handler": "count"}})", "A: the \"count\" handler needs a \"#target\""},
      {R"({"A": {"#attr": {"type": "int", "default": 0}, "#handler": "uptime", "#target": "B"}})", "A: the \"uptime\" handler takes no \"#target\""},
      {R"({"A": {"#attr": {"type": "int", "default": 0}, "#target": "B"}})", "A: \"#target\" without a \"#handler\""},
      {R"({"A": {"#attr": {"type": "int", "default": 0}, "#handler": "count", "#target": "T."}, "T": {"#attr": {"type": "object", "multi": true}, "#template": {}}})",
       "A: \"#target\" \"T.\" is not a relative path without a trailing dot"},
      {R"({"A": {"#attr": {"type": "int", "default": 0}, "#handler": "count", "#target": "B"}, "B": {"#attr": {"type": "int", "default": 0}}})",
       "A: \"#target\" \"B\" names no table"},
      {R"({"M": {"#attr": {"type": "method"}, "#handler": "debug_mode", "#target": "Nope"}})", "M: \"#target\" \"Nope\" names no parameter"},
      // The accounts: only at the root, and checked like the rest.
      {R"({"A": {"#access": {}}})", "A: unexpected key #access in an object"},
      {R"({"#access": {"users": {"a": {"rights": {".": "rq"}}}}, "A": {}})",
       "#access.users.a.rights: \".\": \"rq\" holds a letter outside \"rwadx\""},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_EQ(load_model(k::json_parse(c.model).get(), error), nullptr) << c.model;
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

// The model a daemon serves when no other is given (and its accounts, when asked).
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

TEST(DefaultModel, DebuggingIsTurnedOnOnlyWithTheCallersOwnPassword) {
  Accounts accounts;
  Engine engine(default_model(&accounts));
  Caller admin = user_caller(*accounts.find("admin"));
  Caller nobody = test::full_rights();  // a guest that may execute anything
  nobody.user.clear();
  const struct {
    const Caller& caller;
    const char* mode;
    const char* password;  // none: no UserPassword argument
    const char* outcome;   // the Status output, or the fault and its detail
    const char* debug_mode;
  } cases[] = {
      {admin, "Temporary", "admin", "Enabled", "Temporary"},
      {admin, "Permanent", "support", "9001 wrong password", "Temporary"},
      {admin, "Permanent", nullptr, "9001 wrong password", "Temporary"},
      {nobody, "Permanent", "", "9001 wrong password", "Temporary"},
      {admin, "Permanent", "admin", "Enabled", "Permanent"},
      {nobody, "Disabled", nullptr, "Disabled", "Disabled"},
  };
  for (const auto& c : cases) {
    std::vector<NamedValue> args = {{"Mode", k::json_str(c.mode)}};
    if (c.password) args.push_back({"UserPassword", k::json_str(c.password)});
    Reply r = engine.execute(c.caller, "Device.System.Debug", args);
    std::string outcome = r.ok() ? k::json_text(json_array_get(json_object_get(r.result.get(), "ParameterList"), 0), "Value")
                                 : std::to_string(r.fault.code) + " " + r.fault.detail;
    EXPECT_EQ(outcome, c.outcome) << c.mode << " " << (c.password ? c.password : "-");
    EXPECT_EQ(test::values(engine, {"Device.System.DebugMode"}),
              std::string("Device.System.DebugMode=\"") + c.debug_mode + '"');
  }
  // The password given is never shown again.
  EXPECT_EQ(test::values(engine, {"Device.System.Debug.#input.UserPassword"}),
            R"(Device.System.Debug.#input.UserPassword="")");
}

TEST(DefaultModel, TheDocumentedAccountsLogInAndMayDoWhatTheirRightsSay) {
  Accounts accounts;
  Engine engine(default_model(&accounts));
  const Account* admin = accounts.find("admin");
  const Account* support = accounts.find("support");
  ASSERT_TRUE(admin && support);
  EXPECT_TRUE(password_matches(admin->password_hash, "admin") && admin->system_access);
  EXPECT_TRUE(password_matches(support->password_hash, "support") && !support->system_access);
  EXPECT_EQ(accounts.find_by_token("kr4200-admin-7c1e9b3a5d2f4e68"), admin);

  Caller as_admin = user_caller(*admin), as_support = user_caller(*support),
         as_guest = guest_caller(accounts);
  const struct {
    const Caller& caller;
    char op;  // v read, w write (the value it has), + add, x execute (no arguments)
    const char* path;
    int code;
  } cases[] = {
      {as_guest, 'v', "Device.DeviceInfo.", 0}, {as_guest, 'v', "Device.Hosts.", 9001},
      {as_guest, 'v', "Device.Users.CurrentUser", 9001}, {as_guest, 'v', "Device.Users.SystemAccess", 0},
      {as_guest, 'w', "Device.DeviceInfo.ProvisioningCode", 9001},
      {as_support, 'v', "Device.Time.", 0}, {as_support, 'v', "Device.Users.User.", 9001},
      {as_support, 'v', "Device.Users.CurrentUser", 0}, {as_support, 'w', "Device.Time.Enable", 9001},
      {as_support, 'w', "Device.WiFi.SSID.1.SSID", 0}, {as_support, 'w', "Device.Hosts.Host.1.Alias", 0},
      {as_support, '+', "Device.NAT.PortMapping.", 0}, {as_support, '+', "Device.IP.Interface.", 9001},
      {as_support, 'x', "Device.IP.Diagnostics.Ping", 0}, {as_support, 'x', "Device.System.Debug", 9001},
      {as_admin, 'v', "Device.Users.User.", 0}, {as_admin, 'w', "Device.Time.Enable", 0},
      {as_admin, '+', "Device.IP.Interface.", 0}, {as_admin, 'x', "Device.System.Debug", 0},
  };
  for (const auto& c : cases) {
    Reply r;
    if (c.op == 'v') r = engine.get_parameter_values(c.caller, {c.path}, false);
    if (c.op == '+') r = engine.add_object(c.caller, c.path);
    if (c.op == 'x') r = engine.execute(c.caller, c.path, {});
    if (c.op == 'w') {
      k::Json read = engine.get_parameter_values(test::full_rights(), {c.path}, false).result_json();
      json_t* now = json_object_get(json_array_get(json_object_get(read.get(), "ParameterList"), 0), "Value");
      r = engine.set_parameter_values(c.caller, {{c.path, k::Json::borrow(now)}}, false);
    }
    EXPECT_EQ(r.fault.code, c.code) << c.caller.user << " " << c.op << " " << c.path;
  }
}

TEST(DefaultModel, PingSetsEveryOutput) {
  Engine engine(default_model());
  const struct {
    const char* arguments;
    const char* outputs;  // Status, IPAddressUsed, success and failure counts, average, min, max
  } cases[] = {
      {R"([{"Name":"Host","Value":"10.0.0.1"},{"Name":"NumberOfRepetitions","Value":4}])",
       R"("Complete" "192.168.1.1" 4 0 14 13 16)"},
      // Round trip 39 ms: the slowest reply (41 ms) decides whether all arrive in time.
      {R"([{"Name":"Host","Value":"example.com"},{"Name":"Timeout","Value":41}])",
       R"("Complete" "192.168.1.1" 3 0 39 38 41)"},
      {R"([{"Name":"Host","Value":"example.com"},{"Name":"Timeout","Value":40}])",
       R"("Complete" "192.168.1.1" 0 3 0 0 0)"},
      // Nothing of the run before is left behind.
      {R"([{"Name":"Host","Value":"10.0.0.1"}])", R"("Complete" "192.168.1.1" 3 0 14 13 16)"},
      {R"([{"Name":"Host","Value":"nas.invalid"}])", R"("Error_CannotResolveHostName" "" 0 0 0 0 0)"},
      {"[]", R"("Error_CannotResolveHostName" "" 0 0 0 0 0)"},
  };
  for (const auto& c : cases) {
    std::vector<NamedValue> args;
    k::Json list = k::json_parse(c.arguments);
    size_t i;
    json_t* e;
    json_array_foreach(list.get(), i, e)
      args.push_back({k::json_text(e, "Name"), k::Json::borrow(json_object_get(e, "Value"))});
    Reply r = engine.execute(test::full_rights(), "Device.IP.Diagnostics.Ping", args);
    std::string outputs;
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

  root = load_model(k::json_parse(R"({"Device": {}})").get(), error);
  EXPECT_FALSE(fill_hosts(*root, 3, error)) << "a model without the host table";
}

}  // namespace
}  // namespace sim
