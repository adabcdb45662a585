// cd, up, take, pwd: moving the shell's position in the data model and showing it.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "datamodel/cdpath.h"
#include "datamodel/command_path.h"
#include "platform/tr.h"
#include "shell/command_handlers.h"
#include "shell/prompt.h"

namespace {

// A path text holds at most this many elements, so more "<" than this cannot go further up.
constexpr long kMaxLevels = kPathTextMax / 2 + 1;

// Runs cd under the caller's name with the one argument `path`.
int cd_to(const std::string& name, const std::string& path) {
  k::Json args = k::Json::take(json_pack("[s]", path.c_str()));
  return cmd_cd(name, args.get());
}

}  // namespace

int cmd_cd(const std::string& name, json_t* args) {
  if (json_array_size(args) >= 2) {
    std::printf("syntax: %s [<path>]", name.c_str());
    std::fflush(stdout);
    return -1;
  }
  CdpathCopy work(current_path);
  CdpathCopy saved(current_path);
  const char* argument = arg_text(args, 0);
  if (!argument) {
    cdpath_clear(work.path);
  } else if (work.path.node && cdpath_resolve(work.path, argument) != 0) {
    std::printf("%s: %s: no such node\n", name.c_str(), argument);
    return -2;
  }
  cdpath_copy(current_path, work.path);
  cdpath_copy(previous_path, saved.path);
  prompt_build();
  return 0;
}

int cmd_up(const std::string& name, json_t* args) {
  const char* argument = arg_text(args, 0);
  long levels = argument ? std::strtol(argument, nullptr, 10) : 1;  // "x" reads as 0
  if (levels == 0) levels = 1;
  if (levels > kMaxLevels) levels = kMaxLevels;
  return cd_to(name, std::string(levels > 0 ? levels : 0, '<'));
}

int cmd_take(const std::string& name, json_t* args) {
  const char* argument = arg_text(args, 0);
  std::string path = argument ? argument : ".";
  int instance = cmd_add(name, args);
  if (instance <= 0) return -1;
  if (k::tr_path_is_full(path)) path += '.';
  return cd_to(name, path + std::to_string(instance));
}

int cmd_pwd(const std::string&, json_t*) {
  std::printf(":%s\n", current_path.text.c_str());
  return 0;
}
