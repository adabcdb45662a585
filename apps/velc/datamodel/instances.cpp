#include "datamodel/instances.h"

#include <cstdio>
#include <string>

#include "datamodel/resolve.h"
#include "link/exchange.h"
#include "platform/text.h"
#include "datamodel/tree.h"
#include "render/result_report.h"

namespace {

// The target of an instance command: the argument resolved on a copy of the current position
// (so `path` holds the cache's spelling and `type` the node's type code), or, without a schema
// cache, the argument as typed with type 0. -1 after the "no such node." line.
int target_path(CommandContext& client, const std::string& command, const char* argument,
                std::string& path, int& type) {
  cdpath copy = client.view.current_path;
  bool cached = copy.node != nullptr;
  if (resolve_argument(client, copy, command, argument, NoSuchNode::kWithPeriod) != 0)
    return -1;
  path = cached ? copy.text : argument;
  type = cached ? copy.node->attributes.type : k::kTypeNone;
  return 0;
}

// Requests about objects name them with their trailing ".".
void end_with_dot(std::string& path) {
  if (!k::tr_path_is_partial(path)) path += '.';
}

// Sends a request and prints its outcome.
void exchange_and_report(CommandContext& client, k::Message& m) {
  request_exchange(client.session, m, -1);
  report_result(m, client.colours, client.out);
}

}  // namespace

int cmd_add(CommandContext& client, const std::string& name, json_t* args) {
  if (json_array_size(args) >= 3) {
    std::fprintf(client.out, "syntax: %s <path> [<order_num>]\n", name.c_str());
    return -1;
  }
  const char* argument = k::json_array_text(args, 0);
  std::string path;
  int type;
  if (target_path(client, name, argument ? argument : ".", path, type) != 0) return -1;
  end_with_dot(path);

  k::Message m = k::msg_add_object(path);
  request_exchange(client.session, m, -1);
  int instance = 0;
  json_unpack(m.result.get(), "{s:i}", "InstanceNumber", &instance);
  if (instance > 0) {
    std::fputs("Instance number:", client.out);
    client.colours.set_fixed(k::kColourNumber, client.out);
    std::fprintf(client.out, " %d\n", instance);
    client.colours.reset(client.out);
  }
  report_result(m, client.colours, client.out);
  return instance;
}

int cmd_del(CommandContext& client, const std::string& name, json_t* args) {
  const char* argument = k::json_array_text(args, 0);
  if (json_array_size(args) != 1 || !argument) {
    std::fprintf(client.out, "syntax: %s <path>\n", name.c_str());
    return -1;
  }
  std::string path;
  int type;
  if (target_path(client, name, argument, path, type) != 0) return -1;
  if (k::tr_type_is_parameter(type)) {
    if (k::tr_path_is_partial(path)) path.pop_back();
  } else if (k::tr_path_is_full(path)) {
    path += '.';
  }
  k::Message m = k::msg_delete_object(path);
  exchange_and_report(client, m);
  return 0;
}

int cmd_order(CommandContext& client, const std::string& name, json_t* args) {
  const char* argument = k::json_array_text(args, 0);
  const char* number_text = k::json_array_text(args, 1);
  if (json_array_size(args) != 2 || !argument) {
    std::fprintf(client.out, "syntax: %s <path> <order_num>\n", name.c_str());
    return -1;
  }
  // The number is checked first, so a bad number is reported even for a bad path.
  uint32_t order = 0;
  if (k::string_to_u32(number_text ? number_text : "", 10, order) < 0) {
    std::fprintf(client.out, "%s: invalid order integer: %s\n", name.c_str(),
                 number_text ? number_text : "");
    return -1;
  }
  std::string path;
  int type;
  if (target_path(client, name, argument, path, type) != 0) return -1;
  end_with_dot(path);
  k::Message m = k::msg_change_order(path, order);
  exchange_and_report(client, m);
  return 0;
}
