// Reading a model file (the format of docs/model-format.md) into the in-memory tree.
#pragma once

#include <memory>
#include <string>

#include "model/accounts.h"
#include "model/node.h"
#include "platform/json.h"

namespace sim {

// Builds the tree from a parsed model, and reads its "#access" section into `accounts` when
// given (the section is checked either way); none with `error` naming the offending path and
// reason.
std::unique_ptr<Node> load_model(json_t* model, std::string& error, Accounts* accounts = nullptr);

// Reads a JSON file; none with `error` as "FILE:LINE: reason".
k::Json read_json_file(const std::string& file, std::string& error);

// Lays saved values over a tree built from the model. `config` has the form of an instance in
// a model file, from the root down; a table in it gives the table's whole set of instances
// (those of the model go) and may give "#max_instance", the highest number handed out. False
// with `error` naming the path and the reason; the tree is then partly changed.
bool load_saved_values(json_t* config, Node& root, std::string& error);

// Reads and builds a model file (and its accounts, as load_model); none with `error` set.
std::unique_ptr<Node> load_model_file(const std::string& file, std::string& error,
                                      Accounts* accounts = nullptr);

// Parses an instance number: digits only, no leading zero, 1 to 4294967295.
bool parse_instance_number(std::string_view element, uint32_t& number);

}  // namespace sim
