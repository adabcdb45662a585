#include "datamodel/set.h"

#include <cstdio>

#include "datamodel/assignment.h"
#include "datamodel/resolve.h"
#include "link/exchange.h"
#include "datamodel/tree.h"
#include "render/result_report.h"

void append_assignment(json_t* list, const std::string& path, k::Json value) {
  json_array_append_new(list, json_pack("{s:s%, s:o}", "Name", path.data(), path.size(), "Value",
                                        value.release()));
}

namespace {

// With the schema cache: the key resolved on a copy of the current position; `path` gets the
// resolved path text. None after printing why the assignment was rejected.
k::Json cached_assignment(CommandContext& client, const std::string& name, const Assignment& a,
                          std::string& path) {
  cdpath copy = client.view.current_path;
  if (resolve_argument(client, copy, name, a.key.c_str(), NoSuchNode::kWithPeriod) != 0)
    return {};
  k::Json value = assignment_value(name, a, copy.node.get(), ValueForm::kShell, client.out);
  if (value) path = copy.text;
  return value;
}

// Without one (request mode, scripts): veld describes the parameter named as typed, and the path
// goes as typed.
k::Json described_assignment(CommandContext& client, const std::string& name, const Assignment& a,
                             std::string& path) {
  SchemaNodePtr node =
      node_from_veld(client, a.key, 0, name + ": " + a.key + ": no such node.\n");
  if (!node) return {};
  k::Json value = assignment_value(name, a, node.get(), ValueForm::kRequest, client.out);
  if (value) path = a.key;
  return value;
}

}  // namespace

k::Json set_collect(CommandContext& client, const std::string& name, json_t* args) {
  const bool cached = client.view.current_path.node != nullptr;
  k::Json list = k::Json::take(json_array());
  size_t i;
  json_t* arg;
  json_array_foreach(args, i, arg) {
    const char* text = json_string_value(arg);
    std::optional<Assignment> a = split_assignment(name, text ? text : "", client.out);
    if (!a) continue;
    std::string path;
    k::Json value = cached ? cached_assignment(client, name, *a, path)
                           : described_assignment(client, name, *a, path);
    if (value) append_assignment(list.get(), path, std::move(value));
  }
  size_t accepted = json_array_size(list.get());
  size_t given = json_array_size(args);
  if (accepted == 0) {
    std::fprintf(client.out, "%s: no argument.\n", name.c_str());
    return {};
  }
  if (!cached && accepted < given) {
    // No one watches a script or a command line: a partial change is worse than none.
    std::fprintf(client.out, "%s: %zu of %zu assignments refused, nothing sent.\n", name.c_str(),
                 given - accepted, given);
    return {};
  }
  return list;
}

int cmd_set(CommandContext& client, const std::string& name, json_t* args) {
  k::Json list = set_collect(client, name, args);
  if (!list) return -1;
  k::Message m = name == "set"
                     ? k::msg_set_parameter_values(list)
                     : k::msg_create("RawSetParameterValues",
                                     k::Json::take(json_pack("{s:O}", "ParameterList", list.get())));
  request_exchange(client.session, m, -1);
  report_result(m, client.colours, client.out);
  return 0;
}
