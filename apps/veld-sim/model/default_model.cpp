#include "model/default_model.h"

#include <filesystem>
#include <system_error>

namespace sim {

std::string default_model_for(const std::string& program_path, const std::string& installed_from_bin,
                              const std::string& fallback) {
  namespace fs = std::filesystem;
  fs::path installed = (fs::path(program_path).parent_path() / installed_from_bin).lexically_normal();
  std::error_code ignored;
  return fs::is_regular_file(installed, ignored) ? installed.string() : fallback;
}

std::string default_model_path() {
  std::error_code error;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return VELD_SIM_DEFAULT_MODEL;
  return default_model_for(program.string(), VELD_SIM_INSTALLED_MODEL, VELD_SIM_DEFAULT_MODEL);
}

}  // namespace sim
