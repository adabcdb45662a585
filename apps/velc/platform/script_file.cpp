#include "platform/script_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace k {

ScriptFile open_script_file(const std::string* path, FILE* out) {
  if (!path) return ScriptFile(stdin);
  ScriptFile in(std::fopen(path->c_str(), "r"));
  struct stat st {};
  if (in && ::fstat(fileno(in.get()), &st) == 0 && S_ISDIR(st.st_mode)) {
    in.reset();
    errno = EISDIR;
  }
  if (!in) {
    int error = errno;
    std::fprintf(out, "Cannot open script file %s\n", path->c_str());
    std::fflush(out);
    std::fprintf(stderr, "velc: %s: %s\n", path->c_str(), std::strerror(error));
  }
  return in;
}

}  // namespace k
