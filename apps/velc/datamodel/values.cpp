#include "datamodel/values.h"

#include <algorithm>
#include <cstdio>

#include "datamodel/resolve.h"
#include "datamodel/schema.h"
#include "link/exchange.h"
#include "platform/interrupt.h"
#include "platform/printable.h"
#include "datamodel/tree.h"
#include "render/result_report.h"
#include "render/tree.h"
#include "render/value_text.h"

namespace {

// The length of the request text up to its first "#": names in a reply begin with it. The
// root's "." is no prefix of the names below it (Device.DeviceInfo.Manufacturer).
size_t known_prefix(const std::string& request_text) {
  if (request_text == ".") return 0;
  return std::min(request_text.find('#'), request_text.size());
}

// The number base of the schema node at a full path (0 when the cache does not hold it).
int base_of(const SchemaNode* schema_root, std::string_view name) {
  if (name.empty()) return 0;
  const SchemaNode* node = schema_node_describing(schema_root, name);
  return node ? node->attributes.base : 0;
}

std::string_view text_of(json_t* s) {
  return json_is_string(s) ? std::string_view(json_string_value(s), json_string_length(s))
                           : std::string_view();
}

// Runs `show` for each argument (with no argument, for "."); always 0.
int show_each(CommandContext& client, const std::string& name, json_t* args, bool tree) {
  if (json_array_size(args) == 0) {
    values_show(client, name, ".", tree);
    return 0;
  }
  size_t i;
  json_t* arg;
  json_array_foreach(args, i, arg) {
    if (json_is_string(arg)) values_show(client, name, json_string_value(arg), tree);
  }
  return 0;
}

}  // namespace

std::string values_request_text(const cdpath& p, const char* typed, bool cached) {
  if (!cached) return typed ? typed : "";
  return cdpath_request_text(p);
}

namespace {

// Prints "name = value" lines aligned on "=", for the entries that `for_each` hands out:
// for_each(fn) calls fn(full name, value text) for each entry, where value text(base) renders the
// value. Every entry is handed out twice: first to measure the names.
template <typename ForEach>
void print_aligned(CommandContext& client, const std::string& request_text, ForEach for_each) {
  size_t prefix = known_prefix(request_text);
  std::string fallback = request_text.substr(request_text.rfind('.') + 1);
  auto short_name = [prefix](std::string_view n) {
    return n.size() > prefix ? n.substr(prefix) : std::string_view();
  };
  size_t width = 0;
  for_each([&](std::string_view name, auto&&) { width = std::max(width, short_name(name).size()); });

  const SchemaNode* schema_root = client.view.schema_root.get();
  bool escape = client.colours.escape;
  for_each([&](std::string_view name, auto&& value_text) {
    k::interrupt_check();  // Ctrl-C stops a long listing at the next line
    std::string shown(short_name(name));
    if (shown.empty()) shown = fallback;
    std::string text = value_text(base_of(schema_root, name));
    k::put_text(shown, escape, client.out);
    std::fprintf(client.out, "%*s = ", static_cast<int>(width - std::min(width, shown.size())), "");
    client.colours.set(k::kColourAutocomplete, client.out);
    k::put_text(text, escape, client.out);
    std::fputc('\n', client.out);
    client.colours.reset(client.out);
  });
}

}  // namespace

void values_print(CommandContext& client, json_t* parameter_list, const std::string& request_text) {
  print_aligned(client, request_text, [parameter_list](auto&& fn) {
    size_t i;
    json_t* entry;
    json_array_foreach(parameter_list, i, entry) {
      json_t* value = json_object_get(entry, "Value");
      fn(text_of(json_object_get(entry, "Name")),
         [value](int base) { return json_dump_value(value, base); });
    }
  });
}

void values_print(CommandContext& client, const k::LargeReply& reply, const std::string& request_text) {
  print_aligned(client, request_text, [&reply](auto&& fn) {
    reply.for_each_parameter([&](std::string_view name, const k::ReplyValue& value) {
      fn(name, [&value](int base) { return reply_value_text(value, base); });
    });
  });
}

k::Json values_tree_build(const SchemaNode* schema_root, json_t* parameter_list,
                          const std::string& request_text) {
  k::Json root = k::Json::take(json_object());
  size_t prefix = known_prefix(request_text);
  std::string_view known(request_text.data(), prefix);
  DisplayTreeIndex index;
  size_t i;
  json_t* entry;
  json_array_foreach(parameter_list, i, entry) {
    k::interrupt_check();
    json_t* name = json_object_get(entry, "Name");
    std::string_view full = text_of(name);
    if (full.size() < prefix || full.substr(0, prefix) != known) continue;
    json_t* node = root.get();
    k::tr_path_for_each(full.substr(prefix), [&](std::string_view element) {
      if (k::tr_is_pseudo_parameter(element)) json_object_set_new(node, "multi", json_true());
      node = display_tree_child(index, node, element);
      return true;
    });
    json_object_set_new(node, "base", json_integer(base_of(schema_root, full)));
    if (json_t* value = json_object_get(entry, "Value")) json_object_set(node, "value", value);
  }
  // At the data-model root the tree is still named by the path asked for.
  std::string_view root_name = request_text == "." ? request_text : known;
  json_object_set_new(root.get(), "name", json_stringn(root_name.data(), root_name.size()));
  return root;
}

int values_show(CommandContext& client, const std::string& name, const char* path, bool tree) {
  cdpath copy = client.view.current_path;
  bool cached = copy.node != nullptr;
  if (resolve_argument(client, copy, name, path, NoSuchNode::kWithPeriod) != 0) return -1;
  std::string request_text = values_request_text(copy, path, cached);
  k::Json text = k::json_str(request_text);
  if (!text) {
    std::fprintf(client.out, "%s: no argument.\n", name.c_str());
    return -1;
  }
  k::Json names = k::Json::take(json_array());
  json_array_append_new(names.get(), text.release());
  k::Message m = k::msg_get_parameter_values(names);
  if (copy.via_template)
    k::msg_add_parameter(m, "IgnoreAccessError", k::Json::take(json_true()));
  if (tree) {
    request_exchange(client.session, m, -1);
    if (!reply_ok(m)) {
      report_result(m, client.colours, client.out);
      return -1;
    }
    json_t* list = json_object_get(m.result.get(), "ParameterList");
    k::Json drawn = values_tree_build(client.view.schema_root.get(), list, request_text);
    print_tree(drawn.get(), client.colours, client.out);
    return 0;
  }
  // The values of a whole table can make a reply of many megabytes: it is read straight from
  // its text (see large_reply.h).
  k::LargeReply large;
  request_exchange(client.session, m, -1, large);
  if (!reply_ok(m)) {
    report_result(m, client.colours, client.out);
    return -1;
  }
  if (m.result)
    values_print(client, json_object_get(m.result.get(), "ParameterList"), request_text);
  else
    values_print(client, large, request_text);
  return 0;
}

k::Json schema_tree(CommandContext& client, cdpath& p, const std::string& name, bool from_multi) {
  k::Json record = k::Json::take(json_object());
  json_object_set_new(record.get(), "name", json_stringn(name.data(), name.size()));
  SchemaNode* node = p.node.get();
  if (!p.text.empty() && node && k::tr_type_is_parameter(node->attributes.type)) return record;
  if (from_multi && k::tr_is_pseudo_parameter(name)) return record;

  bool multi = node && node->attributes.multi;
  // A node the cache does not hold (an unknown template) shows with no children.
  k::Json names = node ? schema_list_names(client, p) : k::Json();
  json_object_set_new(record.get(), "from_multi", json_boolean(multi));
  json_t* content = json_array();
  json_object_set_new(record.get(), "content", content);

  size_t i;
  json_t* child_name;
  json_array_foreach(names.get(), i, child_name) {
    k::interrupt_check();
    if (!json_is_string(child_name)) continue;
    std::string n = json_string_value(child_name);
    cdpath below = p;
    bool pushed = cdpath_push(below, multi ? node->template_node : node->child_ref(n), n) == 0;
    // A path too long to follow is still drawn, as a leaf.
    k::Json sub = pushed ? schema_tree(client, below, n, multi)
                         : k::Json::take(json_pack("{s:s}", "name", n.c_str()));
    json_array_append_new(content, sub.release());
  }
  return record;
}

int cmd_cat(CommandContext& client, const std::string& name, json_t* args) {
  return show_each(client, name, args, false);
}

int cmd_catree(CommandContext& client, const std::string& name, json_t* args) {
  return show_each(client, name, args, true);
}

int cmd_tree(CommandContext& client, const std::string& name, json_t* args) {
  cdpath copy = client.view.current_path;
  const char* first = k::json_array_text(args, 0);
  if (first && resolve_argument(client, copy, name, first, NoSuchNode::kWithoutPeriod) != 0)
    return -1;
  std::string root_name = copy.text.empty() ? ":" : copy.text;
  k::Json tree = schema_tree(client, copy, root_name, copy.is_multi);
  print_tree(tree.get(), client.colours, client.out);
  return 0;
}
