#include "shell/system_shell.h"

#include <cstdio>
#include <cstdlib>

int cmd_sh(Client&, const std::string&, json_t* args) {
  std::string line;
  size_t i;
  json_t* arg;
  json_array_foreach(args, i, arg) {
    if (!json_is_string(arg)) continue;
    line.append(json_string_value(arg), json_string_length(arg));
    line += ' ';
  }
  if (json_array_size(args) == 0) line = "sh ";
  std::fflush(stdout);  // what was printed comes before the command's output
  std::system(line.c_str());
  return 0;
}
