#include "datamodel/select.h"

#include <cstdio>

#include "datamodel/values.h"
#include "link/exchange.h"
#include "datamodel/tree.h"
#include "render/result_report.h"
#include "render/tree.h"

int cmd_select(CommandContext& client, const std::string& name, json_t* args) {
  std::string selector;
  size_t i;
  json_t* arg;
  json_array_foreach(args, i, arg) {
    if (!json_is_string(arg)) continue;
    if (i > 0) selector += ' ';
    selector.append(json_string_value(arg), json_string_length(arg));
  }
  k::Json text = k::json_str(selector);
  if (json_array_size(args) == 0 || !text) {
    std::fprintf(client.out, "syntax: %s <selector>\n", name.c_str());
    return -1;
  }
  k::Json params = k::Json::take(json_object());
  json_object_set(params.get(), "Selector", text.get());
  k::Message m = k::msg_create("Select", params);
  request_exchange(client.session, m, -1);
  if (!reply_ok(m)) {
    report_result(m, client.colours, client.out);
    return -1;
  }
  const char* base;
  json_t* subtree;
  json_object_foreach(json_object_get(m.result.get(), "Selection"), base, subtree) {
    k::Json list = k::tr_config_to_namevalues(subtree, base);
    k::Json tree = values_tree_build(client.view.schema_root.get(), list.get(), base);
    print_tree(tree.get(), client.colours, client.out);
  }
  return 0;
}
