// Test helper: a small, fully fetched schema cache installed as `schema_root`, with the shell's
// position at its root, so that resolution and listing run without asking veld (requests fail).
#pragma once

#include "datamodel/cdpath.h"
#include "datamodel/schema.h"
#include "entry/exchange.h"
#include "platform/json.h"
#include "platform/tr.h"

inline constexpr const char* kTestSchema = R"({
  "#fetched": true,
  "Device": {
    "#attr": {"type": "object"}, "#fetched": true,
    "DeviceInfo": {"#attr": {"type": "object"}, "#fetched": true,
      "Manufacturer": {"#attr": {"type": "string", "access": "readOnly"}},
      "SoftwareVersion": {"#attr": {"type": "string"}},
      "UpgradeProgress": {"#attr": {"type": "unsignedInt", "base": 10}}},
    "Hosts": {"#attr": {"type": "object"}, "#fetched": true,
      "HostNumberOfEntries": {"#attr": {"type": "unsignedInt"}},
      "Host": {"#attr": {"type": "object", "multi": true}, "#fetched": true,
        "#template": {"#attr": {"type": "object"}, "#fetched": true,
          "Flags": {"#attr": {"type": "unsignedInt", "base": 16}},
          "HostName": {"#attr": {"type": "string"}}},
        "1": {"#attr": {"type": "object"}, "#fetched": true,
          "Flags": {"#attr": {"type": "unsignedInt", "base": 16}},
          "HostName": {"#attr": {"type": "string"}}},
        "max_instance": {"#attr": {"type": "unsignedInt", "access": "readOnly"}}}},
    "Time": {"#attr": {"type": "object"}, "#fetched": true,
      "Mask": {"#attr": {"type": "unsignedInt", "base": 2}},
      "Mode": {"#attr": {"type": "unsignedInt", "base": 8}}}
  }
})";

// Installs the fixture for the lifetime of the object, and leaves no cache behind.
struct TestSchema {
  TestSchema() {
    // Any request a test provokes fails at once: there is no veld behind this socket.
    requests_handle().set_destination("/nonexistent/velc-test/veld.sock");
    schema_root = k::json_parse(kTestSchema);
    cdpath_new(current_path);
  }
  ~TestSchema() {
    cdpath_free(current_path);
    schema_root = k::Json();
  }
  // The cache node at a path ("" for the root).
  json_t* node(const char* path) const { return k::conf_find_branch(schema_root.get(), path); }
};

// No schema cache at all, as in request mode: `current_path` has no node.
struct NoSchema {
  NoSchema() {
    schema_root = k::Json();
    cdpath_free(current_path);
  }
  ~NoSchema() { cdpath_free(current_path); }
};
