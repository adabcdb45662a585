#include "datamodel/execute.h"

#include <cstdio>
#include <functional>

#include "datamodel/assignment.h"
#include "datamodel/resolve.h"
#include "datamodel/set.h"
#include "datamodel/values.h"
#include "link/exchange.h"
#include "datamodel/tree.h"
#include "render/result_report.h"
#include "render/tree.h"

namespace {

// The node of an argument path below the method's "#input" (with a reference of its own), or
// none when there is no such argument.
using ArgumentFinder = std::function<SchemaNodePtr(const std::string& rpath)>;

// True when an "#input" node holds an argument: veld describes a method without arguments with
// an empty "#input".
bool has_arguments(const SchemaNode* input) { return input && !input->children().empty(); }

void say_no_arguments(const std::string& name, FILE* out) {
  std::fprintf(out, "%s: this method does not have input arguments.\n", name.c_str());
}

// Turns the assignments after the method path into a ParameterList, each value converted by its
// argument's default. None after printing why the first bad one was refused.
k::Json collect_arguments(const std::string& name, json_t* args, ValueForm form,
                          const ArgumentFinder& find, FILE* out) {
  k::Json list = k::Json::take(json_array());
  for (size_t i = 1; i < json_array_size(args); ++i) {
    const char* text = k::json_array_text(args, i);
    std::string argument = text ? text : "";
    if (argument.size() > kExecuteArgumentMax) {
      std::fprintf(out, "%s: argument too long (more than %zu bytes).\n", name.c_str(),
                  kExecuteArgumentMax);
      return {};
    }
    std::optional<Assignment> a = split_assignment(name, argument, out);
    if (!a) return {};
    SchemaNodePtr node = find(a->key);
    if (!node) {
      std::fprintf(out, "%s: %s: no such node.\n", name.c_str(), a->key.c_str());
      return {};
    }
    k::Json value = assignment_value(name, *a, node.get(), form, out);
    if (!value) return {};
    append_assignment(list.get(), a->key, std::move(value));
  }
  return list;
}

// With the schema cache: resolves the method on a copy of the current position and its
// arguments below its "#input". False after printing why the command stops.
bool arguments_from_cache(CommandContext& client, const std::string& name, json_t* args,
                          std::string& method_path, k::Json& list) {
  const char* method = k::json_array_text(args, 0);
  cdpath m = client.view.current_path;
  if (cdpath_resolve(client, m, method) != 0) {
    std::fprintf(client.out, "%s: %s: no such method.\n", name.c_str(), method);
    return false;
  }
  // The method's own path: veld names a method without a trailing dot.
  method_path = m.text;
  if (json_array_size(args) < 2) return true;
  m.in_method = true;
  if (cdpath_resolve(client, m, "#input") != 0 || !has_arguments(m.node.get())) {
    say_no_arguments(name, client.out);
    return false;
  }
  list = collect_arguments(name, args, ValueForm::kShell, [&](const std::string& rpath) {
    cdpath a = m;
    return cdpath_resolve(client, a, rpath.c_str()) == 0 ? a.node : nullptr;
  }, client.out);
  return bool(list);
}

// The argument at `rpath` below `input`, its names matched without regard to case.
SchemaNodePtr argument_in(const SchemaNodePtr& input, const std::string& rpath) {
  SchemaNodePtr node = input;
  bool found = k::tr_path_for_each(rpath, [&](std::string_view element) {
    if (element[0] == '#') return false;  // a template or arguments' arguments are none
    node = node->child_ref(cached_spelling(node.get(), std::string(element)));
    return node != nullptr;
  });
  return found ? node : nullptr;
}

// Without a schema cache (request mode): the method path goes as typed, and the arguments are
// looked up in veld's description of the method's "#input". False after printing why the
// command stops.
bool arguments_from_veld(CommandContext& client, const std::string& name, json_t* args,
                         std::string& method_path, k::Json& list) {
  method_path = k::json_array_text(args, 0);
  if (json_array_size(args) < 2) return true;
  SchemaNodePtr input = node_from_veld(client, method_path + ".#input.", -1,
                                 name + ": " + method_path + ": no such method.\n");
  if (!input) return false;
  if (!has_arguments(input.get())) {
    say_no_arguments(name, client.out);
    return false;
  }
  list = collect_arguments(name, args, ValueForm::kRequest, [&](const std::string& rpath) {
    return argument_in(input, rpath);
  }, client.out);
  return bool(list);
}

}  // namespace

int cmd_execute(CommandContext& client, const std::string& name, json_t* args) {
  const char* method = k::json_array_text(args, 0);
  if (!method || !*method) {
    std::fprintf(client.out, "%s: no method.\n", name.c_str());
    return -1;
  }
  std::string method_path;
  k::Json list;  // stays none without arguments: the request then carries no list
  bool ready = client.view.current_path.node
                   ? arguments_from_cache(client, name, args, method_path, list)
                   : arguments_from_veld(client, name, args, method_path, list);
  if (!ready) return -1;

  k::Message m = k::msg_execute(method_path, list);
  request_exchange(client.session, m, -1);  // a method may take long: no time-out
  json_t* outputs = reply_ok(m) ? json_object_get(m.result.get(), "ParameterList") : nullptr;
  if (json_array_size(outputs) == 0) {
    // An error, or a success without outputs: either way the status is all there is to show.
    report_result(m, client.colours, client.out);
    return -1;
  }
  k::Json tree = values_tree_build(client.view.schema_root.get(), outputs, "");
  print_tree(tree.get(), client.colours, client.out);
  return 0;
}
