#include "datamodel/set.h"

#include <cstdio>

#include "datamodel/resolve.h"
#include "datamodel/value_from_text.h"
#include "link/exchange.h"
#include "platform/tr.h"

void append_assignment(json_t* list, const std::string& path, k::Json value) {
  json_array_append_new(list, json_pack("{s:s%, s:o}", "Name", path.data(), path.size(), "Value",
                                        value.release()));
}

namespace {

// Checks one assignment against the schema cache; the converted value, or none after printing
// why it was rejected. `path` gets the resolved path text.
k::Json cached_assignment(Client& client, const std::string& name, const std::string& key,
                          const std::string& value_text, std::string& path) {
  CdpathCopy copy(client.view.current_path);
  if (resolve_argument(client, copy.path, name, key.c_str(), NoSuchNode::kWithPeriod) != 0)
    return {};
  json_t* fallback = k::tr_node_default(copy.path.node);
  if (!k::tr_type_is_parameter(k::tr_node_type(copy.path.node)) || !fallback) {
    std::printf("%s: %s: is an object or doesn't have default value.\n", name.c_str(),
                key.c_str());
    return {};
  }
  k::Json value = value_from_text(value_text, json_typeof(fallback));
  if (!value) {
    std::printf("%s: %s: invalid value %s.\n", name.c_str(), key.c_str(), value_text.c_str());
    return {};
  }
  path = copy.path.text;
  return value;
}

}  // namespace

k::Json set_collect(Client& client, const std::string& name, json_t* args) {
  k::Json list = k::Json::take(json_array());
  size_t i;
  json_t* arg;
  json_array_foreach(args, i, arg) {
    std::string assignment = json_is_string(arg) ? json_string_value(arg) : "";
    size_t equals = assignment.find('=');
    if (equals == std::string::npos) {
      std::printf("%s: %s: no value.\n", name.c_str(), assignment.c_str());
      continue;
    }
    std::string key = assignment.substr(0, equals);
    std::string value_text = assignment.substr(equals + 1);
    std::printf("key = %s, value = %s\n", key.c_str(), value_text.c_str());

    if (client.view.current_path.node) {
      std::string path;
      k::Json value = cached_assignment(client, name, key, value_text, path);
      if (value) append_assignment(list.get(), path, std::move(value));
    } else if (k::Json value = k::json_parse(value_text)) {
      // No cache (request mode): the value is given as JSON; a text that is not JSON adds nothing.
      append_assignment(list.get(), key, std::move(value));
    }
  }
  if (json_array_size(list.get()) == 0) {
    std::printf("%s: no argument.\n", name.c_str());
    return {};
  }
  return list;
}

int cmd_set(Client& client, const std::string& name, json_t* args) {
  k::Json list = set_collect(client, name, args);
  if (!list) return -1;
  k::Message m = name == "set"
                     ? k::msg_set_parameter_values(list)
                     : k::msg_create("RawSetParameterValues",
                                     k::Json::take(json_pack("{s:O}", "ParameterList", list.get())));
  request_exchange(client.session, m, -1);
  report_result(m, client.colours);
  return 0;
}
