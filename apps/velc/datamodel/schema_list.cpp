// Name lists drawn from the schema cache: a node's children for listing and completion, and a
// table's instances for the tree view.
#include <strings.h>

#include <cstring>

#include "datamodel/schema.h"
#include "link/exchange.h"
#include "platform/interrupt.h"
#include "datamodel/tree.h"

void list_entry_add(json_t* array, const std::string& name, const char* prefix, bool absolute,
                    bool mark) {
  std::string entry = absolute ? ":" : "";
  if (prefix && *prefix) entry.append(prefix).append(".");
  entry += name;
  if (mark && (name.empty() || name.back() != '.')) entry += '.';
  json_array_append_new(array, json_stringn(entry.data(), entry.size()));
}

void schema_for_each_child(CommandContext& client, cdpath& p, const char* filter, int options,
                           const std::function<bool(const char* name, bool parameter)>& visit) {
  if (!p.node || !p.node->fetched) schema_fetch(client, p);
  bool match_prefix = (options & kListMatchPrefix) && filter;
  size_t filter_length = filter ? std::strlen(filter) : 0;

  for (const auto& [name, child] : p.node->children()) {
    k::interrupt_check();
    const char* key = name.c_str();
    if (match_prefix && strncasecmp(key, filter, filter_length) != 0) continue;
    bool parameter = k::tr_type_is_parameter(child->attributes.type);
    if ((options & kListObjectsOnly) && parameter) continue;
    if ((options & kListWritableOnly) && parameter && child->attributes.read_only) continue;
    if (!visit(key, parameter)) return;
  }
}

k::Json schema_list_children(CommandContext& client, cdpath& p, const char* filter, int options) {
  k::Json list = k::Json::take(json_array());
  schema_for_each_child(client, p, filter, options, [&](const char* name, bool parameter) {
    list_entry_add(list.get(), name, (options & kListMatchPrefix) ? nullptr : filter,
                   options & kListAbsolute, (options & kListMarkObjects) && !parameter);
    return true;
  });
  return list;
}

k::Json schema_list_names(CommandContext& client, cdpath& p) {
  if (!p.is_multi) {
    if (schema_children_unknown(p.node.get()) && schema_fetch(client, p) != 0) return {};
    k::Json list = k::Json::take(json_array());
    for (const auto& [name, child] : p.node->children())
      json_array_append_new(list.get(), json_stringn(name.data(), name.size()));
    return list;
  }

  std::string table = p.text;
  if (k::tr_path_is_partial(table)) table.pop_back();
  size_t dot = table.rfind('.');
  if (table.compare(dot == std::string::npos ? 0 : dot + 1, std::string::npos, "max_instance") ==
      0)
    return {};

  k::Message m = k::msg_get_parameter_names(table + ".", true);
  request_exchange(client.session, m, -1);
  if (!reply_ok(m)) return {};
  k::Json list = k::Json::take(json_array());
  size_t i;
  json_t* entry;
  json_array_foreach(json_object_get(m.result.get(), "ParameterList"), i, entry) {
    std::string name = k::json_text(entry, "Name");
    if (name.compare(0, table.size() + 1, table + ".") == 0) name.erase(0, table.size() + 1);
    if (k::tr_path_is_partial(name)) name.pop_back();
    json_array_append_new(list.get(), json_stringn(name.data(), name.size()));
  }
  return list;
}
