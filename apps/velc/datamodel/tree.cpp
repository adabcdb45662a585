#include "datamodel/tree.h"

#include <cstring>

#include "platform/interrupt.h"

namespace k {

bool tr_is_instance_number(std::string_view text) {
  if (text.empty() || text.size() > 20) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

bool tr_is_pseudo_parameter(std::string_view element) {
  return element == "max_instance" || element == "order";
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
