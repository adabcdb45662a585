// What deleting an instance does to the parameters that refer to it, by the "relations"
// attribute of its table: each relation names a pattern of reference parameters ("*" for any
// instance number) and a verdict: 0 deny the delete, 1 delete the referring instance too,
// 2 clear the reference, 3 leave it.
#pragma once

#include <string>
#include <vector>

#include "model/fault.h"
#include "model/node.h"

namespace sim {

// Verdicts of a relation.
enum RelationVerdict : int { kDeny = 0, kCascade = 1, kClear = 2, kContinue = 3 };

// The changes a delete brings along.
struct RelationEffects {
  std::vector<Node*> clear;    // reference parameters to clear
  std::vector<std::string> cascade;  // paths of instances to delete as well
};

// Finds the effects of deleting the instance at `instance_path` (with its trailing dot) of
// `table`. False with `fault` (9001, naming the referring parameter) when a relation denies it.
bool plan_delete(Node& root, const Node& table, const std::string& instance_path,
                 RelationEffects& effects, Fault& fault);

// Removes the reference to `instance_path` from a parameter: the whole value, or the matching
// items of a comma-separated list.
void clear_reference(Node& param, const std::string& instance_path);

}  // namespace sim
