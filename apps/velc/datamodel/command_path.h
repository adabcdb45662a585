// Shared pieces of the data-model commands: reading the argument array, and finding the path a
// command works on.
#pragma once

#include <string>

#include <jansson.h>

// The text of argument `index`, or null when there is none or it is not a string.
inline const char* arg_text(json_t* args, size_t index) {
  return json_string_value(json_array_get(args, index));
}

// The target of an instance command. With a schema cache (current_path has a node): `argument`
// resolved on a copy of current_path, so `path` holds the cache's spelling and `type` the node's
// type code; when it does not resolve, prints "<command>: <argument>: no such node." and gives -1.
// Without a cache (request mode): `path` is the argument as typed and `type` is 0. Returns 0.
int target_path(const std::string& command, const char* argument, std::string& path, int& type);
