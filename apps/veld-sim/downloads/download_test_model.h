// A small device for the Download tests: a firmware version with the upgrade parameters, a
// setting and a table, as a configuration download changes them.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "engine/engine.h"
#include "model/model_load.h"

namespace sim::test {

inline constexpr const char* kDownloadModel = R"({
 "Device": {
  "Name": {"#attr": {"type": "string", "access": "readWrite", "maxLength": 8, "default": "box"}},
  "DeviceInfo": {
   "SoftwareVersion": {"#attr": {"type": "string", "access": "readOnly", "default": "1.0.0"}},
   "UpgradeProgress": {"#attr": {"type": "unsignedInt", "access": "readOnly", "runtime": true, "maxInclusive": 100, "default": 0}},
   "UpgradeStatus": {"#attr": {"type": "int", "access": "readOnly", "runtime": true, "default": 0}}
  },
  "Rule": {"#attr": {"type": "object", "multi": true, "access": "readWrite"},
   "#template": {"Port": {"#attr": {"type": "int", "access": "readWrite", "default": -1}}},
   "1": {"Port": 22}}
 }
})";

// The download model's tree (throws on a load error).
inline std::unique_ptr<Node> download_model_tree() {
  std::string error;
  auto root = load_model(k::json_parse(kDownloadModel).get(), error);
  return root ? std::move(root) : throw std::runtime_error("download model: " + error);
}

// A device built from the download model, keeping its state in `state_dir` ("" none).
inline DeviceSetup download_device(std::string state_dir = {}) {
  return DeviceSetup{[](std::string&) { return download_model_tree(); }, std::move(state_dir)};
}

}  // namespace sim::test
