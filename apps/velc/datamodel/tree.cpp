#include "datamodel/tree.h"

#include <cstring>

#include "platform/interrupt.h"

namespace k {

namespace {

bool is_true(json_t* obj, const char* key) { return json_is_true(json_object_get(obj, key)); }

json_t* child(json_t* node, std::string_view name) {
  return json_object_getn(node, name.data(), name.size());
}

}  // namespace

bool tr_is_instance_number(std::string_view text) {
  if (text.empty() || text.size() > 20) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

int tr_node_type(json_t* node) {
  json_t* type = json_object_get(tr_node_attr(node), "type");
  return json_is_string(type) ? tr_type_code(json_string_value(type)) : kTypeNone;
}

json_t* tr_node_attr(json_t* node) {
  json_t* a = json_object_get(node, "#attr");
  return json_is_object(a) ? a : nullptr;
}

json_t* tr_node_default(json_t* node) { return json_object_get(tr_node_attr(node), "default"); }

int tr_node_base(json_t* node) {
  json_t* b = json_object_get(tr_node_attr(node), "base");
  return json_is_integer(b) ? static_cast<int>(json_integer_value(b)) : 0;
}

bool tr_node_is_multi(json_t* node) { return is_true(tr_node_attr(node), "multi"); }
bool tr_node_is_ordered(json_t* node) { return is_true(tr_node_attr(node), "ordered"); }

bool tr_is_pseudo_parameter(std::string_view element) {
  return element == "max_instance" || element == "order";
}

Json tr_names_to_config(json_t* list, const char* base) {
  Json tree = Json::take(json_object());
  std::string_view prefix = base ? base : "";
  if (prefix == ".") prefix = {};
  size_t i;
  json_t* entry;
  json_array_foreach(list, i, entry) {
    interrupt_check();  // a tree of many thousand entries is given up at Ctrl-C
    json_t* name = json_object_get(entry, "Name");
    if (!json_is_string(name)) continue;
    std::string_view full(json_string_value(name), json_string_length(name));
    if (full.substr(0, prefix.size()) != prefix) continue;
    json_t* node = tree.get();
    tr_path_for_each(full.substr(prefix.size()), [&](std::string_view element) {
      json_t* next = child(node, element);
      if (!json_is_object(next)) {
        next = json_object();
        json_object_setn_new(node, element.data(), element.size(), next);
      }
      node = next;
      return true;
    });
    json_object_set(node, "#info", entry);
  }
  return tree;
}

namespace {

void config_to_namevalues(json_t* config, const std::string& prefix, json_t* list) {
  const char* key;
  json_t* value;
  json_object_foreach(config, key, value) {
    interrupt_check();
    std::string name = prefix + key;
    if (json_is_object(value)) {
      config_to_namevalues(value, name + ".", list);
      continue;
    }
    json_t* entry = json_object();
    json_object_set_new(entry, "Name", json_stringn(name.data(), name.size()));
    json_object_set(entry, "Value", value);
    json_array_append_new(list, entry);
  }
}

}  // namespace

Json tr_config_to_namevalues(json_t* config, const char* base) {
  Json list = Json::take(json_array());
  std::string prefix = base && std::strcmp(base, ".") != 0 ? base : "";
  if (!prefix.empty() && prefix.back() != '.') prefix += '.';
  config_to_namevalues(config, prefix, list.get());
  return list;
}

json_t* conf_find_branch(json_t* root, std::string_view path) {
  json_t* node = root;
  bool found = tr_path_for_each(path, [&](std::string_view element) {
    node = child(node, element);
    return json_is_object(node);
  });
  return found ? node : nullptr;
}

json_t* tr_node_find(json_t* root, std::string_view path) {
  json_t* node = root;
  bool found = tr_path_for_each(path, [&](std::string_view element) {
    json_t* next = child(node, element);
    if (!next && tr_is_instance_number(element)) next = json_object_get(node, "#template");
    node = next;
    return json_is_object(node);
  });
  return found ? node : nullptr;
}

Json tr_parameter_names(json_t* parameter_list) {
  Json names = Json::take(json_array());
  size_t i;
  json_t* entry;
  json_array_foreach(parameter_list, i, entry) {
    json_t* name = json_object_get(entry, "Name");
    if (json_is_string(name)) json_array_append(names.get(), name);
  }
  return names;
}

}  // namespace k
