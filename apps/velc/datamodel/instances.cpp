// add (and touch), del (and rm), order: create, delete and reorder instances of tables.
#include "datamodel/instances.h"

#include <cstdio>
#include <string>

#include "datamodel/command_path.h"
#include "entry/exchange.h"
#include "platform/colors.h"
#include "platform/text.h"
#include "platform/tr.h"
#include "shell/command_handlers.h"

namespace {

// Requests about objects name them with their trailing ".".
void end_with_dot(std::string& path) {
  if (!k::tr_path_is_partial(path)) path += '.';
}

// Sends a request and prints its outcome.
void exchange_and_report(k::Message& m) {
  request_exchange(m, -1);
  report_result(m);
}

}  // namespace

int parse_decimal(const char* text, uint32_t& result) {
  return k::string_to_u32(text ? text : "", 10, result);
}

int cmd_add(const std::string& name, json_t* args) {
  if (json_array_size(args) >= 3) {
    std::printf("syntax: %s <path> [<order_num>]\n", name.c_str());
    return -1;
  }
  const char* argument = arg_text(args, 0);
  std::string path;
  int type;
  if (target_path(name, argument ? argument : ".", path, type) != 0) return -1;
  end_with_dot(path);

  k::Message m = k::msg_add_object(path);
  request_exchange(m, -1);
  int instance = 0;
  json_unpack(m.result.get(), "{s:i}", "InstanceNumber", &instance);
  if (instance > 0) {
    std::fputs("Instance number:", stdout);
    k::colors_set(k::kColourNumber);
    std::printf(" %d\n", instance);
    k::colors_reset();
  }
  report_result(m);
  return instance;
}

int cmd_del(const std::string& name, json_t* args) {
  const char* argument = arg_text(args, 0);
  if (json_array_size(args) != 1 || !argument) {
    std::printf("syntax: %s <path>\n", name.c_str());
    return -1;
  }
  std::string path;
  int type;
  if (target_path(name, argument, path, type) != 0) return -1;
  if (k::tr_type_is_parameter(type)) {
    if (k::tr_path_is_partial(path)) path.pop_back();
  } else if (k::tr_path_is_full(path)) {
    path += '.';
  }
  k::Message m = k::msg_delete_object(path);
  exchange_and_report(m);
  return 0;
}

int cmd_order(const std::string& name, json_t* args) {
  const char* argument = arg_text(args, 0);
  const char* number_text = arg_text(args, 1);
  if (json_array_size(args) != 2 || !argument) {
    std::printf("syntax: %s <path> <order_num>\n", name.c_str());
    return -1;
  }
  // The number is checked first, so a bad number is reported even for a bad path.
  uint32_t order = 0;
  if (parse_decimal(number_text, order) < 0) {
    std::printf("%s: invalid order integer: %s\n", name.c_str(), number_text ? number_text : "");
    return -1;
  }
  std::string path;
  int type;
  if (target_path(name, argument, path, type) != 0) return -1;
  end_with_dot(path);
  k::Message m = k::msg_change_order(path, order);
  exchange_and_report(m);
  return 0;
}
