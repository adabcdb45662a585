#include "datamodel/navigation.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "datamodel/instances.h"
#include "datamodel/resolve.h"
#include "platform/printable.h"
#include "datamodel/tree.h"

namespace {

// A path text holds at most this many elements, so more "<" than this cannot go further up.
constexpr long kMaxLevels = kPathTextMax / 2 + 1;

// Runs cd under the caller's name with the one argument `path`.
int cd_to(CommandContext& client, const std::string& name, const std::string& path) {
  k::Json args = k::Json::take(json_pack("[s]", path.c_str()));
  return cmd_cd(client, name, args.get());
}

}  // namespace

int cmd_cd(CommandContext& client, const std::string& name, json_t* args) {
  if (json_array_size(args) >= 2) {
    std::fprintf(client.out, "syntax: %s [<path>]", name.c_str());
    std::fflush(client.out);
    return -1;
  }
  DataModelView& view = client.view;
  cdpath work = view.current_path;
  cdpath saved = view.current_path;
  const char* argument = k::json_array_text(args, 0);
  if (!argument) {
    cdpath_clear(work, view.schema_root);
  } else if (resolve_argument(client, work, name, argument, NoSuchNode::kWithoutPeriod) !=
             0) {
    return -2;
  }
  view.current_path = work;
  view.previous_path = saved;
  return 0;
}

int cmd_up(CommandContext& client, const std::string& name, json_t* args) {
  const char* argument = k::json_array_text(args, 0);
  long levels = argument ? std::strtol(argument, nullptr, 10) : 1;  // "x" reads as 0
  if (levels == 0) levels = 1;
  if (levels > kMaxLevels) levels = kMaxLevels;
  return cd_to(client, name, std::string(levels > 0 ? levels : 0, '<'));
}

int cmd_take(CommandContext& client, const std::string& name, json_t* args) {
  const char* argument = k::json_array_text(args, 0);
  std::string path = argument ? argument : ".";
  int instance = cmd_add(client, name, args);
  if (instance <= 0) return -1;
  if (k::tr_path_is_full(path)) path += '.';
  return cd_to(client, name, path + std::to_string(instance));
}

int cmd_pwd(CommandContext& client, const std::string&, json_t*) {
  std::fputs(":", client.out);
  k::put_text(client.view.current_path.text, client.colours.escape, client.out);
  std::fputs("\n", client.out);
  return 0;
}
