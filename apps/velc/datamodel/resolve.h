// Path resolution: applying a path text typed by the user to a node path, against the schema
// cache (which fetches the levels it lacks).
//
// Syntax: a leading ":" starts at the root; elements are separated by "." (empty ones vanish).
// An element is "<" repeated (up one level per "<"), "-..." (the previous position, echoed),
// "*" (the table's template), "#input" (a method's arguments, only in method context), or the
// name of a child or an instance number. Names are matched without regard to case against the
// children the cache already knows, and take the cache's spelling.
#pragma once

#include <string>

#include "datamodel/context.h"

// Applies `text` to `p`: 0 success, -1 an element failed (elements before it were applied), -2
// no text.
int cdpath_resolve(CommandContext& client, cdpath& p, const char* text);
// The same without a word on standard output (the previous position that "-" leads to is not
// echoed): for completion, which runs while the user types.
int cdpath_resolve_quiet(CommandContext& client, cdpath& p, const char* text);

// The key under which the cache node `node` holds the child typed as `name`: the exact key when
// there is one, otherwise the first key equal to it without regard to case, otherwise the name as
// typed (digits, instance numbers, have only one spelling).
std::string cached_spelling(const SchemaNode* node, const std::string& name);

// How a command's "no such node" line ends: most commands end it with a period; `cd`, `ls` and
// `tree` do not.
enum class NoSuchNode { kWithPeriod, kWithoutPeriod };

// Resolves a command's path argument on `p`, a copy of the current position. On failure prints
// "<command>: <argument>: no such node" (with the chosen ending) and gives the resolution's
// negative result. Without a schema cache (`p` has no node: request mode) nothing is resolved
// and 0 is given: the command then names the path to veld as typed.
int resolve_argument(CommandContext& client, cdpath& p, const std::string& command, const char* argument,
                     NoSuchNode ending);
