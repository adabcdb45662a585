// The "<path>=<value>" arguments of `set` and `execute`: splitting one, and turning its value text
// into the JSON value of the node it is for, in the shell (the node comes from the schema cache)
// and in request mode and scripts (veld describes the node: node_from_veld).
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "datamodel/context.h"
#include "platform/json.h"

// Where an assignment was typed. The shell's tokenizer has removed its quotes already; on
// request mode's command line a value may still carry them (request_value_text).
enum class ValueForm { kShell, kRequest };

// One argument split at its first "=": the value may hold further "=" and may be empty.
struct Assignment {
  std::string key;
  std::string value_text;
};

// Splits `argument` and prints on `out` "key = <key>, value = <value>". None after
// "<name>: <argument>: no value." when it holds no "=".
std::optional<Assignment> split_assignment(const std::string& name, const std::string& argument,
                                           FILE* out);

// The value assigned to `node` (a node of the schema cache, or one made by node_from_veld): the
// value text (in the request form, through request_value_text first) converted by the JSON type
// of the node's default. None after "<name>: <key>: is an object or doesn't have default value."
// or "<name>: <key>: invalid value <value text>." on `out`.
k::Json assignment_value(const std::string& name, const Assignment& a, const SchemaNode* node,
                         ValueForm form, FILE* out);

// veld's description of the node at `path`, as a node like the schema cache's: depth 0 the node
// alone, -1 with its whole subtree.
// None when veld gave none, after printing `unknown` when veld knows no such node (9005) and
// veld's report otherwise (a refusal, no answer), so that the user learns why.
SchemaNodePtr node_from_veld(CommandContext& client, const std::string& path, int depth,
                       const std::string& unknown);
