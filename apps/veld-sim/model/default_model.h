// Which model veld-sim serves when --model is not given: the one installed with the program, or
// else the source tree's (a program run from its build folder).
#pragma once

#include <string>

namespace sim {

// The default model for this process: default_model_for the running program (/proc/self/exe),
// with the source tree's model as the fallback.
std::string default_model_path();

// The model installed beside the program at `program_path` (`installed_from_bin`, relative to
// the program's folder: "../share/veld-sim/home-router.json" for <prefix>/bin/veld-sim) when
// that file exists, else `fallback`.
std::string default_model_for(const std::string& program_path, const std::string& installed_from_bin,
                              const std::string& fallback);

}  // namespace sim
