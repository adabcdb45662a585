// The `ls` command: the children of an object, as bare names from the schema cache (short form)
// or as a table of type, access, permissions, flags and name that veld supplies (long form, -l).
#pragma once

#include <string>
#include <vector>

#include <jansson.h>

#include "datamodel/context.h"

// Option bits of `ls`.
enum LsOptions : int {
  kLsLong = 1,  // "l": the long form
  kLsDot = 2,   // "a": "." first in the short form
};

// One row of the long form. Each field is cut to the size the listing has always given it
// (type, access 49 bytes; flags, perms 19; name 256), never inside a UTF-8 character.
struct LsRow {
  std::string type;    // the "type" attribute with its value and length ranges, or "-"
  std::string access;  // "RO" for a constant, else "RW"; "-" without attributes
  std::string flags;   // O object, M multi-instance, O ordered, R runtime, U unique; or "-"
  std::string perms;   // the "perms" attribute, or empty
  std::string name;    // relative to the listed object; "." for the object itself
};

// The `ls` command: "-l" and "-a" options, then paths (none: the current position); several
// paths are listed one after another under their names. 0, or -1 when the only path does not
// resolve.
int cmd_ls(CommandContext& client, const std::string& name, json_t* args);

// Lists one path (none: the current position). 0, or -1 when the path does not resolve.
int ls_list(CommandContext& client, const std::string& name, const char* path, int options);

// The row of one entry of a GetParameterAttributes reply; `prefix_len` is the length of the
// listed object's path text (without its trailing dot).
LsRow ls_repack_list(json_t* entry, size_t prefix_len);

// Row order: "object" rows first, then by name (byte order).
bool ls_row_before(const LsRow& a, const LsRow& b);

// Prints on `out` the header and the rows (already sorted) with their columns
// sized to fit, names in the autocomplete colour.
void ls_print_rows(const std::vector<LsRow>& rows, const k::ColourTable& colours, FILE* out);
