#include "relations.h"

#include <gtest/gtest.h>

#include "engine.h"
#include "model_load.h"

namespace sim {
namespace {

// Ports are referred to by links (cleared), by lines (deleted with the port), by pins (which
// forbid deleting the port).
constexpr const char* kModel = R"({
 "Port": {"#attr": {"type": "object", "multi": true, "access": "readWrite", "relations": [
    {"verdict": 0, "match": "Pin.*.Port"},
    {"verdict": 1, "match": "Line.*.Port"},
    {"verdict": 2, "match": "Link.*.Ports"},
    {"verdict": 3, "match": "Note.*.Port"}]},
  "#template": {}, "1": {}, "2": {}, "3": {}},
 "Pin": {"#attr": {"type": "object", "multi": true, "access": "readWrite"},
  "#template": {"Port": {"#attr": {"type": "path", "access": "readWrite", "default": ""}}},
  "1": {"Port": "Port.3"}},
 "Line": {"#attr": {"type": "object", "multi": true, "access": "readWrite"},
  "#template": {"Port": {"#attr": {"type": "path", "access": "readWrite", "default": ""}}},
  "1": {"Port": "Port.1."}, "2": {"Port": "Port.2"}, "3": {"Port": "Port.1"}},
 "Link": {"#attr": {"type": "object", "multi": true, "access": "readWrite"},
  "#template": {"Ports": {"#attr": {"type": "list", "access": "readWrite", "default": ""}}},
  "1": {"Ports": "Port.1,Port.2,Port.10"}},
 "Note": {"#attr": {"type": "object", "multi": true, "access": "readWrite"},
  "#template": {"Port": {"#attr": {"type": "path", "access": "readWrite", "default": ""}}},
  "1": {"Port": "Port.1"}}
})";

class Relations : public ::testing::Test {
 protected:
  Relations() {
    k::Json model = k::json_parse(kModel);
    std::string error;
    auto root = load_model(model.get(), error);
    if (!root) throw std::runtime_error(error);
    engine = std::make_unique<Engine>(std::move(root));
    engine->set_event_sink([this](unsigned, k::Json data) {
      events.push_back(k::json_text(data.get(), "Path"));
    });
  }
  std::string values(const std::string& path) {
    k::Json result = engine->get_parameter_values(Caller{}, {path}, false).result_json();
    return k::json_dump(json_object_get(result.get(), "ParameterList"), JSON_COMPACT);
  }
  std::unique_ptr<Engine> engine;
  std::vector<std::string> events;
};

TEST_F(Relations, DeleteClearsCascadesAndLeavesAsTold) {
  ASSERT_TRUE(engine->delete_object(Caller{}, "Port.1.").ok());
  EXPECT_EQ(events, (std::vector<std::string>{"Port.1.", "Line.1.", "Line.3."}));
  EXPECT_EQ(values("Line."),
            R"([{"Name":"Line.2.Port","Value":"Port.2"},{"Name":"Line.max_instance","Value":3}])");
  EXPECT_EQ(values("Link.1.Ports"), R"([{"Name":"Link.1.Ports","Value":"Port.2,Port.10"}])");
  EXPECT_EQ(values("Note.1.Port"), R"([{"Name":"Note.1.Port","Value":"Port.1"}])");
}

TEST_F(Relations, ADenyingReferenceKeepsEverything) {
  Reply r = engine->delete_object(Caller{}, "Port.3.");
  EXPECT_EQ(r.fault.code, kRequestDenied);
  EXPECT_NE(r.fault.detail.find("Pin.1.Port"), std::string::npos) << r.fault.detail;
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(values("Port.max_instance"), R"([{"Name":"Port.max_instance","Value":3}])");
  EXPECT_TRUE(engine->get_parameter_names(Caller{}, "Port.3.", false).ok());
}

TEST(ClearReference, RemovesOnlyTheMatchingItems) {
  const struct {
    const char* before;
    const char* after;
  } cases[] = {
      {"Port.1", ""}, {"Port.1.", ""}, {"Port.11", "Port.11"},
      {"Port.2,Port.1,Port.3", "Port.2,Port.3"}, {"Port.1,Port.1.", ""},
  };
  for (const auto& c : cases) {
    Node param;
    param.kind = NodeKind::kParameter;
    param.value = k::json_str(c.before);
    clear_reference(param, "Port.1.");
    EXPECT_EQ(json_string_value(param.value.get()), std::string(c.after)) << c.before;
  }
}

}  // namespace
}  // namespace sim
