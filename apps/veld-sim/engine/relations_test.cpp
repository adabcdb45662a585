#include "model/relations.h"

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "engine/test_model.h"

namespace sim {
namespace {

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

TEST(Relations, DeleteClearsCascadesLeavesOrIsDenied) {
  Engine engine(test::model_tree(kModel));
  std::vector<std::string> events;
  engine.set_event_sink(
      [&](unsigned, k::Json data) { events.push_back(k::json_text(data.get(), "Path")); });
  auto values = [&](const char* path) { return test::values(engine, {path}); };

  ASSERT_TRUE(engine.delete_object(test::full_rights(), "Port.1.").ok());
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

TEST(Relations, ACascadeNeedsTheRightToDeleteEveryInstanceItWouldTake) {
  Engine engine(test::model_tree(kModel));
  size_t events = 0;
  engine.set_event_sink([&](unsigned, k::Json) { ++events; });
  Caller caller;
  std::string error;
  ASSERT_TRUE(parse_rights(k::json_parse(R"({".": "r", "Port.": "d", "Line.1.": "d"})").get(),
                           caller.rights, error));
  // Port.1 takes Line.1 and Line.3 along; the caller may not delete Line.3.
  Reply r = engine.delete_object(caller, "Port.1.");
  EXPECT_EQ(r.fault.code, kRequestDenied);
  EXPECT_EQ(r.fault.detail, "Line.3.: no right to delete instances");
  EXPECT_EQ(events, 0u);
  EXPECT_EQ(test::values(engine, {"Link.2.Ports"}), R"(Link.2.Ports="Port.1")");  // nothing cleared
  caller.rights.rules.push_back({"Line.", kRightDelete});
  EXPECT_TRUE(engine.delete_object(caller, "Port.1.").ok());
  EXPECT_EQ(events, 3u);
}

}  // namespace
}  // namespace sim
