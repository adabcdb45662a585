// Reading a model file (the format of docs/model-format.md) into the in-memory tree.
#pragma once

#include <memory>
#include <string>

#include "node.h"
#include "platform/json.h"

namespace sim {

// Builds the tree from a parsed model; none with `error` naming the offending path and reason.
std::unique_ptr<Node> load_model(json_t* model, std::string& error);

// Reads and builds a model file; none with `error` set.
std::unique_ptr<Node> load_model_file(const std::string& file, std::string& error);

// Parses an instance number: digits only, no leading zero, 1 to 4294967295.
bool parse_instance_number(std::string_view element, uint32_t& number);

}  // namespace sim
