#include "engine.h"

#include <gtest/gtest.h>

#include "test_model.h"

namespace sim {
namespace {

// The "Name" members of a result's ParameterList, space-separated.
std::string names(const Reply& r) {
  std::string out;
  size_t i;
  json_t* e;
  k::Json result = r.result_json();
  json_array_foreach(json_object_get(result.get(), "ParameterList"), i, e) {
    if (!out.empty()) out += ' ';
    out += k::json_text(e, "Name");
  }
  return out;
}

// "Name=Value" of each member, the value as compact JSON, space-separated.
std::string name_values(const Reply& r) {
  std::string out;
  size_t i;
  json_t* e;
  k::Json result = r.result_json();
  json_array_foreach(json_object_get(result.get(), "ParameterList"), i, e) {
    if (!out.empty()) out += ' ';
    out += k::json_text(e, "Name") + "=" +
           k::json_dump(json_object_get(e, "Value"), JSON_COMPACT | JSON_ENCODE_ANY);
  }
  return out;
}

std::vector<NamedValue> members(const char* list_json) {
  k::Json list = k::json_parse(list_json);
  std::vector<NamedValue> out;
  size_t i;
  json_t* e;
  json_array_foreach(list.get(), i, e) {
    out.push_back({k::json_text(e, "Name"), k::Json::borrow(json_object_get(e, "Value"))});
  }
  return out;
}

class EngineTest : public ::testing::Test {
 protected:
  EngineTest() : engine(test::test_model_tree()) {
    engine.set_event_sink([this](unsigned group, k::Json data) {
      events.push_back(std::to_string(group) + " " + k::json_dump(data.get(), JSON_COMPACT));
    });
  }
  std::string value(const std::string& path) {
    return name_values(engine.get_parameter_values(caller, {path}, false));
  }
  Engine engine;
  Caller caller;
  std::vector<std::string> events;
};

struct NamesCase {
  const char* path;
  bool next_level;
  const char* expected;
};

TEST_F(EngineTest, ParameterNames) {
  const NamesCase cases[] = {
      {".", true, "Device."},
      {"Device.Host.", true, "Device.Host.1. Device.Host.3. Device.Host.max_instance"},
      {"Device.Rule.", true,
       "Device.Rule.3. Device.Rule.1. Device.Rule.2. Device.Rule.max_instance Device.Rule.order"},
      {"Device.Host.1.", false,
       "Device.Host.1. Device.Host.1.Name Device.Host.1.Up Device.Host.1.Addr. "
       "Device.Host.1.Addr.1. Device.Host.1.Addr.1.IP Device.Host.1.Addr.max_instance"},
      {"Device.Name", false, "Device.Name"},
      {"Device.Name", true, ""},
      {"Device.Host.#template.", true,
       "Device.Host.#template.Name Device.Host.#template.Up Device.Host.#template.Addr."},
      {"Device.Ping", true, "Device.Ping.#input. Device.Ping.Status Device.Ping.SuccessCount"},
      {"Device.Ping.#input.", true,
       "Device.Ping.#input.Host Device.Ping.#input.NumberOfRepetitions Device.Ping.#input.Timeout"},
      {"Device.Rule.max_instance", false, "Device.Rule.max_instance"},
  };
  for (const auto& c : cases) {
    Reply r = engine.get_parameter_names(caller, c.path, c.next_level);
    ASSERT_TRUE(r.ok()) << c.path << ": " << r.fault.detail;
    EXPECT_EQ(names(r), c.expected) << c.path << " " << c.next_level;
  }
}

TEST_F(EngineTest, MissingOrMisspelledPathsGive9005NamingThePath) {
  const char* paths[] = {"Device.Nope.", "Device.Name.", "Device.Host",   "Device.Host.2.",
                         "Device..Name", "",             "Device.Host.01.", "device.",
                         "Device.Host.max_instance.", "Device.Host.order", "Device.Ping.",
                         "Device.Host.4294967296.", "Device.Name.X", ".Device."};
  for (const char* path : paths) {
    Reply r = engine.get_parameter_names(caller, path, true);
    EXPECT_EQ(r.fault.code, kInvalidName) << path;
    if (*path) {
      EXPECT_NE(r.fault.detail.find(path), std::string::npos) << r.fault.detail;
    }
  }
}

TEST_F(EngineTest, WritableFlags) {
  Reply r = engine.get_parameter_names(caller, "Device.", true);
  std::string flags;
  size_t i;
  json_t* e;
  k::Json result = r.result_json();
  json_array_foreach(json_object_get(result.get(), "ParameterList"), i, e)
    flags += k::json_text(e, "Name") + (json_is_true(json_object_get(e, "Writable")) ? "+ " : "- ");
  EXPECT_EQ(flags,
            "Device.Name+ Device.Serial- Device.Model- Device.Level+ Device.Secret+ "
            "Device.HostCount- Device.Host.+ Device.Rule.+ Device.Fixed.- Device.Ping- ");
  Reply fixed = engine.get_parameter_names(caller, "Device.Fixed.1.", false);
  k::Json fixed_list = fixed.result_json();
  EXPECT_FALSE(json_is_true(json_object_get(
      json_array_get(json_object_get(fixed_list.get(), "ParameterList"), 0), "Writable")));
}

struct ValuesCase {
  std::vector<std::string> paths;
  const char* expected;
};

TEST_F(EngineTest, ParameterValues) {
  const ValuesCase cases[] = {
      {{"Device.Host.#template.Name"}, R"(Device.Host.1.Name="a" Device.Host.3.Name="c")"},
      {{"Device.Host.#template.Addr.#template.IP"}, R"(Device.Host.1.Addr.1.IP="10.0.0.1")"},
      {{"Device.Host.#template.Addr.1.IP"}, R"(Device.Host.1.Addr.1.IP="10.0.0.1")"},
      {{"Device.Host.3.Addr.#template.IP"}, ""},
      {{"Device.Host.3."},
       R"(Device.Host.3.Name="c" Device.Host.3.Up=false Device.Host.3.Addr.max_instance=0)"},
      {{"Device.Rule.order", "Device.Rule.max_instance"},
       "Device.Rule.order=[3,1,2] Device.Rule.max_instance=3"},
      {{"Device.Level", "Device.Name"}, R"(Device.Level=5 Device.Name="box")"},
      {{"Device.Secret", "Device.HostCount"}, R"(Device.Secret="" Device.HostCount=2)"},
      {{"Device.Ping"}, R"(Device.Ping.Status="" Device.Ping.SuccessCount=0)"},
      {{"Device.Ping.#input.NumberOfRepetitions"}, "Device.Ping.#input.NumberOfRepetitions=3"},
      {{}, ""},
  };
  for (const auto& c : cases) {
    Reply r = engine.get_parameter_values(caller, c.paths, false);
    ASSERT_TRUE(r.ok()) << c.paths.front() << ": " << r.fault.detail;
    EXPECT_EQ(name_values(r), c.expected) << (c.paths.empty() ? "" : c.paths.front());
  }
}

TEST_F(EngineTest, ValuesOfTheRootListEveryParameterButNoMethodInsides) {
  Reply r = engine.get_parameter_values(caller, {"."}, false);
  ASSERT_TRUE(r.ok());
  std::string all = names(r);
  EXPECT_EQ(all.find("Device.Ping"), std::string::npos);
  EXPECT_EQ(all.find("#template"), std::string::npos);
  EXPECT_NE(all.find("Device.Rule.2.Port Device.Rule.max_instance Device.Rule.order"),
            std::string::npos)
      << all;
}

TEST_F(EngineTest, ValuesFailWholeOnOneBadPath) {
  for (const char* bad : {"Device.Host.#template.Nope", "Device.Host.5.Name", "Device.Nope"}) {
    Reply r = engine.get_parameter_values(caller, {"Device.Name", bad}, true);
    EXPECT_EQ(r.fault.code, kInvalidName) << bad;
  }
}

struct AttributesCase {
  const char* path;
  int depth;
  const char* expected;
};

TEST_F(EngineTest, ParameterAttributesByDepth) {
  const char* host_template =
      "Device.Host.#template. Device.Host.#template.Name Device.Host.#template.Up "
      "Device.Host.#template.Addr. Device.Host.#template.Addr.#template. "
      "Device.Host.#template.Addr.#template.IP Device.Host.#template.Addr.max_instance";
  std::string host_depth1 =
      std::string("Device.Host. ") + host_template +
      " Device.Host.1. Device.Host.3. Device.Host.max_instance";
  const AttributesCase cases[] = {
      {"Device.Host.", 0, "Device.Host."},
      {"Device.Host.", 1, host_depth1.c_str()},
      {"Device.Host.#template.", 0, "Device.Host.#template."},
      {"Device.Host.1.Name", -1, "Device.Host.1.Name"},
      {"Device.Ping", 1,
       "Device.Ping Device.Ping.#input. Device.Ping.#input.Host "
       "Device.Ping.#input.NumberOfRepetitions Device.Ping.#input.Timeout Device.Ping.Status "
       "Device.Ping.SuccessCount"},
      {"Device.Ping.#input.Host", 0, "Device.Ping.#input.Host"},
      {"Device.Rule.order", 0, "Device.Rule.order"},
      {"Device.Host.3.", -1,
       "Device.Host.3. Device.Host.3.Name Device.Host.3.Up Device.Host.3.Addr. "
       "Device.Host.3.Addr.#template. Device.Host.3.Addr.#template.IP "
       "Device.Host.3.Addr.max_instance"},
  };
  for (const auto& c : cases) {
    Reply r = engine.get_parameter_attributes(caller, {c.path}, c.depth, false);
    ASSERT_TRUE(r.ok()) << c.path << ": " << r.fault.detail;
    EXPECT_EQ(names(r), c.expected) << c.path << " depth " << c.depth;
  }
}

TEST_F(EngineTest, AttributesOfTablesAndPseudoParameters) {
  Reply r = engine.get_parameter_attributes(caller, {"Device.Rule.", "Device.Rule.order"}, 0, false);
  k::Json result = r.result_json();
  json_t* list = json_object_get(result.get(), "ParameterList");
  json_t* table = json_object_get(json_array_get(list, 0), "Attributes");
  json_t* order = json_object_get(json_array_get(list, 1), "Attributes");
  EXPECT_TRUE(json_is_true(json_object_get(table, "multi")));
  EXPECT_TRUE(json_is_true(json_object_get(table, "ordered")));
  EXPECT_EQ(k::json_text(order, "access"), "readOnly");
  EXPECT_TRUE(json_is_array(json_object_get(order, "default")));
}

struct SetCase {
  const char* list;
  int code;
  const char* data;  // the fault's data, compact JSON, or "" for none
};

TEST_F(EngineTest, SetChecksEveryMember) {
  const SetCase cases[] = {
      {R"([{"Name":"Device.Name","Value":"x"}])", 0, ""},
      {R"([{"Name":"Device.Name","Value":123}])", kInvalidType,
       R"({"Device.Name":"9006 Invalid parameter type"})"},
      {R"([{"Name":"Device.Name","Value":"toolongname"}])", kInvalidValue, nullptr},
      {R"([{"Name":"Device.Name","Value":null}])", kInvalidType, nullptr},
      {R"([{"Name":"Device.Serial","Value":"x"}])", kNotWritable, nullptr},
      {R"([{"Name":"Device.Model","Value":"x"}])", kNotWritable, nullptr},
      {R"([{"Name":"Device.Host.max_instance","Value":9}])", kNotWritable, nullptr},
      {R"([{"Name":"Device.Nope","Value":1}])", kInvalidName, R"({"Device.Nope":"9005 Invalid parameter name"})"},
      {R"([{"Name":"Device.Host.","Value":1}])", kInvalidName, nullptr},
      {R"([{"Name":"Device.Host.#template.Name","Value":"z"}])", kInvalidName, nullptr},
      {R"([{"Name":"Device.Ping.#input.Host","Value":"z"}])", kInvalidName, nullptr},
      {R"([{"Name":"Device.Level","Value":0}])", kInvalidValue, nullptr},
      {R"([{"Name":"Device.Level","Value":11}])", kInvalidValue, nullptr},
      {R"([{"Name":"Device.Level","Value":10}])", 0, ""},
      {R"([{"Name":"Device.Level","Value":4294967296}])", kInvalidValue, nullptr},
      {R"([{"Name":"Device.Host.3.Name","Value":"a"}])", kInvalidValue, nullptr},  // unique
      {R"([{"Name":"Device.Host.3.Name","Value":"b"}])", 0, ""},
      {R"([{"Name":"Device.Host.1.Up","Value":0}])", kInvalidType, nullptr},
      {R"([{"Name":"Device.Host.1.Addr.1.IP","Value":"10.0.0.300"}])", kInvalidValue, nullptr},
      {R"([{"Name":"Device.Name","Value":1},{"Name":"Device.Serial","Value":"x"}])",
       kInvalidArguments,
       R"({"Device.Name":"9006 Invalid parameter type","Device.Serial":"9008 Attempt to set a non-writable parameter"})"},
  };
  for (const auto& c : cases) {
    Reply r = engine.set_parameter_values(caller, members(c.list), false);
    EXPECT_EQ(r.fault.code, c.code) << c.list;
    if (c.data) {
      EXPECT_EQ(r.fault.data ? k::json_dump(r.fault.data.get(), JSON_COMPACT) : "", c.data)
          << c.list;
    }
  }
}

TEST_F(EngineTest, SetIsAllOrNothing) {
  Reply r = engine.set_parameter_values(
      caller, members(R"([{"Name":"Device.Name","Value":"new"},{"Name":"Device.Level","Value":99}])"),
      false);
  EXPECT_EQ(r.fault.code, kInvalidValue);
  EXPECT_EQ(value("Device.Name"), R"(Device.Name="box")");
  r = engine.set_parameter_values(
      caller, members(R"([{"Name":"Device.Name","Value":"new"},{"Name":"Device.Level","Value":9}])"),
      false);
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(value("Device.Name"), R"(Device.Name="new")");
  EXPECT_EQ(value("Device.Level"), "Device.Level=9");
}

TEST_F(EngineTest, SecretsAreStoredButReadEmpty) {
  ASSERT_TRUE(engine.set_parameter_values(caller, members(R"([{"Name":"Device.Secret","Value":"pw"}])"), false).ok());
  EXPECT_EQ(value("Device.Secret"), R"(Device.Secret="")");
}

struct RawCase {
  const char* list;
  int code;
  const char* path;
  const char* expected;
};

TEST_F(EngineTest, RawSetConvertsTextForms) {
  const RawCase cases[] = {
      {R"([{"Name":"Device.Level","Value":"0x0a"}])", 0, "Device.Level", "Device.Level=10"},
      {R"([{"Name":"Device.Level","Value":"7"}])", 0, "Device.Level", "Device.Level=7"},
      {R"([{"Name":"Device.Level","Value":8}])", 0, "Device.Level", "Device.Level=8"},
      {R"([{"Name":"Device.Level","Value":"abc"}])", kInvalidValue, "Device.Level", "Device.Level=8"},
      {R"([{"Name":"Device.Level","Value":"11"}])", kInvalidValue, "Device.Level", "Device.Level=8"},
      {R"([{"Name":"Device.Host.3.Up","Value":"true"}])", 0, "Device.Host.3.Up", "Device.Host.3.Up=true"},
      {R"([{"Name":"Device.Name","Value":"42"}])", 0, "Device.Name", R"(Device.Name="42")"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(engine.set_parameter_values(caller, members(c.list), true).fault.code, c.code) << c.list;
    EXPECT_EQ(value(c.path), c.expected) << c.list;
  }
}

TEST_F(EngineTest, AddAndDeleteObjects) {
  Reply r = engine.add_object(caller, "Device.Host.");
  ASSERT_TRUE(r.ok()) << r.fault.detail;
  EXPECT_EQ(json_integer_value(json_object_get(r.result.get(), "InstanceNumber")), 4);
  EXPECT_EQ(value("Device.Host.4."),
            R"(Device.Host.4.Name="" Device.Host.4.Up=false Device.Host.4.Addr.max_instance=0)");
  EXPECT_EQ(engine.add_object(caller, "Device.Host.").fault.code, kResourcesExceeded);  // maxCount 3

  EXPECT_TRUE(engine.delete_object(caller, "Device.Host.4.").ok());
  EXPECT_EQ(engine.delete_object(caller, "Device.Host.4.").fault.code, kInvalidName);
  r = engine.add_object(caller, "Device.Host.");
  EXPECT_EQ(json_integer_value(json_object_get(r.result.get(), "InstanceNumber")), 5)
      << "numbers are not given out twice";
  EXPECT_EQ(value("Device.Host.max_instance"), "Device.Host.max_instance=5");

  EXPECT_EQ(events, (std::vector<std::string>{
                        R"(4 {"Action":"Add","Path":"Device.Host.","InstanceNumber":4})",
                        R"(4 {"Action":"Delete","Path":"Device.Host.4.","InstanceNumber":4})",
                        R"(4 {"Action":"Add","Path":"Device.Host.","InstanceNumber":5})"}));
}

TEST_F(EngineTest, AddAndDeleteRefusals) {
  const struct {
    bool add;
    const char* path;
    int code;
  } cases[] = {
      {true, "Device.Fixed.", kRequestDenied},         {false, "Device.Fixed.1.", kRequestDenied},
      {true, "Device.Host.#template.Addr.", kInvalidName}, {true, "Device.Name", kInvalidName},
      {true, "Device.Host.1.", kInvalidName},          {true, "Device.Nope.", kInvalidName},
      {false, "Device.Host.", kInvalidName},           {false, "Device.Host.#template.", kInvalidName},
      {false, "Device.Host.max_instance", kInvalidName}, {true, "Device.Host.1.Addr.", 0},
  };
  for (const auto& c : cases) {
    Reply r = c.add ? engine.add_object(caller, c.path) : engine.delete_object(caller, c.path);
    EXPECT_EQ(r.fault.code, c.code) << c.path;
  }
  EXPECT_EQ(events.size(), 1u);
}

TEST_F(EngineTest, AddToOrderedTableGoesLast) {
  ASSERT_TRUE(engine.add_object(caller, "Device.Rule.").ok());
  EXPECT_EQ(value("Device.Rule.order"), "Device.Rule.order=[3,1,2,4]");
  ASSERT_TRUE(engine.delete_object(caller, "Device.Rule.1.").ok());
  EXPECT_EQ(value("Device.Rule.order"), "Device.Rule.order=[3,2,4]");
}

TEST_F(EngineTest, ChangeOrder) {
  const struct {
    const char* path;
    long long position;
    int code;
    const char* order;
  } steps[] = {
      {"Device.Rule.2.", 1, 0, "[2,3,1]"},
      {"Device.Rule.2.", 99, 0, "[3,1,2]"},
      {"Device.Rule.1.", 2, 0, "[3,1,2]"},
      {"Device.Rule.2.", 2, 0, "[3,2,1]"},
      {"Device.Rule.3.", 0, kInvalidArguments, "[3,2,1]"},
      {"Device.Rule.7.", 1, kInvalidName, "[3,2,1]"},
      {"Device.Host.1.", 1, kInvalidName, "[3,2,1]"},
      {"Device.Rule.", 1, kInvalidName, "[3,2,1]"},
  };
  for (const auto& s : steps) {
    EXPECT_EQ(engine.change_order(caller, s.path, s.position).fault.code, s.code) << s.path;
    EXPECT_EQ(value("Device.Rule.order"), std::string("Device.Rule.order=") + s.order)
        << s.path << " to " << s.position;
  }
  EXPECT_EQ(names(engine.get_parameter_names(caller, "Device.Rule.", true)),
            "Device.Rule.3. Device.Rule.2. Device.Rule.1. Device.Rule.max_instance Device.Rule.order");
}

struct ExecuteCase {
  const char* method;
  const char* args;
  int code;
  const char* outputs;  // name=value list on success
};

TEST_F(EngineTest, Execute) {
  const ExecuteCase cases[] = {
      {"Device.Ping", R"([{"Name":"Host","Value":"x.invalid"}])", 0,
       R"(Device.Ping.Status="Error_CannotResolveHostName" Device.Ping.SuccessCount=0)"},
      {"Device.Ping", R"([])", 0,
       R"(Device.Ping.Status="Error_CannotResolveHostName" Device.Ping.SuccessCount=0)"},
      {"Device.Ping", R"([{"Name":"Host","Value":"10.0.0.1"},{"Name":"NumberOfRepetitions","Value":5}])", 0,
       R"(Device.Ping.Status="Complete" Device.Ping.SuccessCount=5)"},
      {"Device.Ping", R"([{"Name":"Device.Ping.#input.Host","Value":"10.0.0.1"}])", 0,
       R"(Device.Ping.Status="Complete" Device.Ping.SuccessCount=3)"},
      {"Device.Ping", R"([{"Name":"NumberOfRepetitions","Value":0}])", kInvalidValue, nullptr},
      {"Device.Ping", R"([{"Name":"NumberOfRepetitions","Value":"3"}])", kInvalidType, nullptr},
      {"Device.Ping", R"([{"Name":"Colour","Value":1}])", kInvalidArguments, nullptr},
      {"Device.Ping", R"([{"Name":"Colour","Value":1},{"Name":"Host","Value":2}])", kInvalidArguments, nullptr},
      {"Device.Name", R"([])", kInvalidName, nullptr},
      {"Device.Nope", R"([])", kInvalidName, nullptr},
      {"Device.Ping.", R"([])", kInvalidName, nullptr},
  };
  for (const auto& c : cases) {
    Reply r = engine.execute(caller, c.method, members(c.args));
    EXPECT_EQ(r.fault.code, c.code) << c.method << " " << c.args;
    if (c.outputs) {
      EXPECT_EQ(name_values(r), c.outputs) << c.args;
    }
  }
}

TEST_F(EngineTest, OutputsKeepTheLastResults) {
  ASSERT_TRUE(engine.execute(caller, "Device.Ping", members(R"([{"Name":"Host","Value":"nas"}])")).ok());
  EXPECT_EQ(value("Device.Ping.Status"), R"(Device.Ping.Status="Complete")");
}

}  // namespace
}  // namespace sim
