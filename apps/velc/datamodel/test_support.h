// Test support for the data-model units: a small, fully fetched schema cache that needs no
// requests, and a fake veld with canned replies for what the end-to-end tests cannot see (which
// fetches the cache makes in unusual situations, and the requests behind refusals).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "datamodel/context.h"
#include "datamodel/tree.h"
#include "platform/socket.h"
#include "testing/stdout_capture.h"
#include "testing/temp_dir.h"
#include "testing/test_peer.h"
#include "testing/test_stream.h"

namespace testing_support {

using Strings = std::vector<std::string>;

// An instance of the Host table, and its template.
#define VELC_TEST_HOST                                                        \
  R"({"#fetched": true, "#attr": {"type": "object"},)"                        \
  R"( "HostName": {"#attr": {"type": "string", "default": ""}},)"             \
  R"( "Flags": {"#attr": {"type": "unsignedInt", "base": 16, "default": 0}}})"

inline constexpr const char* kSchema = R"({"#fetched": true, "Device": {"#fetched": true, "#attr": {"type": "object"},
    "DeviceInfo": {"#fetched": true, "#attr": {"type": "object", "access": "readOnly"},
      "DeviceMode": {"#attr": {"type": "enum", "enum": ["Router", "Bridge", "", "Repeater"]}},
      "Manufacturer": {"#attr": {"type": "string", "access": "readOnly", "default": ""}},
      "ModelName": {"#attr": {"type": "string", "default": ""}},
      "UpgradeProgress": {"#attr": {"type": "unsignedInt", "default": 0}},
      "Temperature": {"#attr": {"type": "decimal", "default": 0.5}}},
    "Hosts": {"#fetched": true, "#attr": {"type": "object"},
      "HostNumberOfEntries": {"#attr": {"type": "unsignedInt", "access": "readOnly"}},
      "Host": {"#fetched": true, "#attr": {"type": "object", "multi": true},
        "#template": )" VELC_TEST_HOST R"(, "1": )" VELC_TEST_HOST R"(, "2": )" VELC_TEST_HOST R"(,
        "max_instance": {"#attr": {"type": "unsignedInt", "access": "readOnly"}}}},
    "IP": {"#fetched": true, "#attr": {"type": "object"}, "Ping": {"#fetched": true,
      "#attr": {"type": "method"}, "#input": {"#fetched": true,
      "Host": {"#attr": {"type": "string"}}, "Count": {"#attr": {"type": "unsignedInt", "enum": [1, 4]}}}}},
    "Radio": {"#fetched": true, "#attr": {"type": "object"}, "Enable": {"#attr": {"type": "boolean"}},
      "Locked": {"#attr": {"type": "bool", "access": "readOnly"}}, "Server": {"#attr": {"type": "path"}},
      "Standard": {"#attr": {"type": "enum", "enum": ["n", "802.11ac", "802.11n", 3]}}},
    "Time": {"#fetched": true, "#attr": {"type": "object"}, "Mask": {"#attr": {"type": "unsignedInt", "base": 2}},
      "Mode": {"#attr": {"type": "unsignedInt", "base": 8, "default": 0}}}},
  "Users": {"#fetched": true, "#attr": {"type": "object"}}})";

// A cache tree written as JSON: "#attr" the attributes, "#fetched" true when fetched,
// "#template" and "#input" the template and the arguments, any other key a child.
inline SchemaNodePtr node_from_json(json_t* json) {
  auto node = std::make_shared<SchemaNode>();
  const char* key;
  json_t* value;
  json_object_foreach(json, key, value) {
    if (std::string_view(key) == "#attr") node->attributes = NodeAttributes::from_json(value);
    else if (std::string_view(key) == "#fetched") node->fetched = json_is_true(value);
    else node->set_child(key, node_from_json(value));
  }
  return node;
}
inline SchemaNodePtr node_from_json(const char* text) { return node_from_json(k::json_parse(text).get()); }

// The words as a command's JSON array of arguments.
inline k::Json args(const std::vector<const char*>& words) {
  k::Json a = k::Json::take(json_array());
  for (const char* w : words) json_array_append_new(a.get(), json_string(w));
  return a;
}

// Asks a TestClient for kSchema as its cache from the start.
inline constexpr bool kWithCache = true;

// What the commands under test work on: a session, a view and colours switched off. `load_schema`
// (or kWithCache) makes kSchema the cache, with the current and previous positions at its root;
// requests fail at once (no veld behind the socket) until a FakeVeld is made on the session. `client` writes to
// standard output; `stream` is a file a test may point a context's output at, read by `text()`.
struct TestClient {
  Session session;
  DataModelView view;
  k::ColourTable colours;
  CommandContext client{session, view, colours};
  TestStream stream;

  explicit TestClient(bool with_cache = false) {
    if (with_cache) load_schema();
  }

  std::string text() { return stream.text(); }  // what was written to `stream` since the last call

  void load_schema() {
    session.requests.set_destination("/nonexistent/velc-test/veld.sock");
    view.schema_root = node_from_json(kSchema);
    cdpath_clear(view.current_path, view.schema_root);
    cdpath_clear(view.previous_path, view.schema_root);
  }
  // Runs a command on `client` with the words: its status, a blank, and what it printed.
  std::string run(int (*handler)(CommandContext&, const std::string&, json_t*), const std::string& name,
                  const std::vector<const char*>& words) {
    k::Json a = args(words);
    int status = 0;
    std::string printed = output_of([&] { status = handler(client, name, a.get()); });
    return std::to_string(status) + " " + printed;
  }
  // The cache's node at a path (no trailing dot), or none.
  SchemaNodePtr at(const std::string& path) {
    if (path.empty()) return view.schema_root;
    size_t dot = path.rfind('.');  // npos + 1 is 0: a top-level name is all of the path
    SchemaNode* parent = dot == std::string::npos ? view.schema_root.get() : schema_node_at(view.schema_root.get(), path.substr(0, dot));
    return parent ? parent->child_ref(path.substr(dot + 1)) : nullptr;
  }
};

// A stand-in for veld on a socket in a temporary folder, answering the session's requests: each
// request is logged as "<method> <params as compact JSON>" and answered with the ParameterList
// that `lists` holds for that text, or else with error 9005.
struct FakeVeld : k::test::ScriptedDaemon {
  explicit FakeVeld(Session& session, const std::map<std::string, std::string>& lists = {}) {
    for (const auto& [request, list] : lists) reply(request, R"({"ParameterList":)" + list + "}");
    session.requests.set_destination(path());
    session.requests.connect();
  }
};

}  // namespace testing_support
