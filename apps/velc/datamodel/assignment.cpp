#include "datamodel/assignment.h"

#include <cstdio>

#include "datamodel/schema.h"
#include "datamodel/value_from_text.h"
#include "link/exchange.h"
#include "datamodel/tree.h"
#include "render/result_report.h"

namespace {

// veld's fault for a path that names no node it knows.
constexpr int kFaultInvalidParameterName = 9005;

void say_invalid(const std::string& name, const Assignment& a, FILE* out) {
  std::fprintf(out, "%s: %s: invalid value %s.\n", name.c_str(), a.key.c_str(),
               a.value_text.c_str());
}

}  // namespace

std::optional<Assignment> split_assignment(const std::string& name, const std::string& argument,
                                           FILE* out) {
  size_t equals = argument.find('=');
  if (equals == std::string::npos) {
    std::fprintf(out, "%s: %s: no value.\n", name.c_str(), argument.c_str());
    return std::nullopt;
  }
  Assignment a{argument.substr(0, equals), argument.substr(equals + 1)};
  std::fprintf(out, "key = %s, value = %s\n", a.key.c_str(), a.value_text.c_str());
  return a;
}

k::Json assignment_value(const std::string& name, const Assignment& a, const SchemaNode* node,
                         ValueForm form, FILE* out) {
  json_t* fallback = node ? node->attributes.default_value.get() : nullptr;
  if (!fallback || !k::tr_type_is_parameter(node->attributes.type)) {
    std::fprintf(out, "%s: %s: is an object or doesn't have default value.\n", name.c_str(),
                a.key.c_str());
    return {};
  }
  std::optional<std::string> text =
      form == ValueForm::kRequest ? request_value_text(a.value_text) : a.value_text;
  k::Json value = text ? value_from_text(*text, json_typeof(fallback)) : k::Json();
  if (!value) say_invalid(name, a, out);
  return value;
}

SchemaNodePtr node_from_veld(CommandContext& client, const std::string& path, int depth,
                       const std::string& unknown) {
  k::Json names = k::Json::take(json_array());
  json_array_append_new(names.get(), json_stringn(path.data(), path.size()));
  k::Message m = k::msg_get_parameter_attributes(names, depth);
  request_exchange(client.session, m, -1);
  if (!reply_ok(m)) {
    if (m.error_code == kFaultInvalidParameterName)
      std::fputs(unknown.c_str(), client.out);
    else
      report_result(m, client.colours, client.out);
    return {};
  }
  // The path's own entry gives the node's attributes, the others its children.
  return schema_nodes_from_list(json_object_get(m.result.get(), "ParameterList"), path);
}
