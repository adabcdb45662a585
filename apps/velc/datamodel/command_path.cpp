#include "datamodel/command_path.h"

#include <cstdio>

#include "datamodel/cdpath.h"
#include "platform/tr.h"

int target_path(const std::string& command, const char* argument, std::string& path, int& type) {
  if (!current_path.node) {
    path = argument;
    type = k::kTypeNone;
    return 0;
  }
  CdpathCopy copy(current_path);
  if (cdpath_resolve(copy.path, argument) != 0) {
    std::printf("%s: %s: no such node.\n", command.c_str(), argument);
    return -1;
  }
  path = copy.path.text;
  type = k::tr_node_type(copy.path.node);
  return 0;
}
