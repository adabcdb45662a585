// Prints words in columns, as `ls` does, sized to the terminal (80 columns when standard output
// is not a terminal).
#pragma once

#include <cstdio>

#include <jansson.h>

namespace k {

// The width of the terminal on standard output, or 80.
int terminal_columns();
// Prints on `out` the strings of a JSON array in columns, down then across; with `escape`, their
// control characters escaped (see printable.h).
void show_list(json_t* words, bool escape, FILE* out);

}  // namespace k
