// Opening the file of a command script or a Lua script.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace k {

// Closes a script's input however its run ends.
struct ScriptFileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using ScriptFile = std::unique_ptr<FILE, ScriptFileCloser>;

// Opens `path` for reading, or gives standard input without a path. When it cannot be opened,
// or is a folder (which fopen opens, and whose first read fails as if the script were empty),
// prints "Cannot open script file %s" on `out` and the reason on standard error, and gives none.
// Pipes and FIFOs are read as they come, so that `velc -s <(make-script)` works.
ScriptFile open_script_file(const std::string* path, FILE* out = stdout);

}  // namespace k
