#include "shell/system_shell.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

// The program run by `sh` writes on file descriptor 1: while it runs, that is the command's
// output (the configuration script's /dev/null, a test's file), and standard output again after.
class ProgramOutput {
 public:
  explicit ProgramOutput(FILE* out) {
    std::fflush(out);  // what was printed comes before the program's output
    std::fflush(stdout);
    if (fileno(out) == STDOUT_FILENO) return;
    saved_ = dup(STDOUT_FILENO);
    if (saved_ >= 0) dup2(fileno(out), STDOUT_FILENO);
  }
  ~ProgramOutput() {
    if (saved_ < 0) return;
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
  }
  ProgramOutput(const ProgramOutput&) = delete;
  ProgramOutput& operator=(const ProgramOutput&) = delete;

 private:
  int saved_ = -1;
};

}  // namespace

int cmd_sh(Client& client, const std::string&, json_t* args) {
  std::string line;
  size_t i;
  json_t* arg;
  json_array_foreach(args, i, arg) {
    if (!json_is_string(arg)) continue;
    line.append(json_string_value(arg), json_string_length(arg));
    line += ' ';
  }
  if (json_array_size(args) == 0) line = "sh ";
  ProgramOutput output(client.out);
  std::system(line.c_str());
  return 0;
}
