// Data-model paths and parameter values for Tab and hints, from the schema cache.
#include <string>
#include <string_view>

#include "datamodel/resolve.h"
#include "datamodel/schema.h"
#include "datamodel/tree.h"
#include "shell/completion_rules.h"

namespace completion {
namespace {

// Offers the values of the parameter `node` that begin with `prefix`: "true" and "false" for a
// boolean, the enumeration (in its order) for the others; nothing for a read-only parameter or
// a node that is no parameter. True when the parameter holds a data-model path: its value is
// then completed as a path.
bool add_values(const SchemaNode* node, const std::string& prefix, Candidates& out) {
  if (!node || node->attributes.read_only) return false;
  switch (node->attributes.type) {
    case k::kTypeBoolean:
    case k::kTypeBool:
      for (const char* value : {"true", "false"}) {
        if (begins_with(value, prefix)) out.add(value);
      }
      return false;
    case k::kTypeNone:
    case k::kTypeObject:
    case k::kTypeMethod:
      return false;
    case k::kTypePath:
      return true;
    default:
      break;
  }
  size_t i;
  json_t* element;
  json_array_foreach(json_object_get(node->attributes.all.get(), "enum"), i, element) {
    // An element that is not a text is offered as its JSON text (a number as typed).
    std::string value = json_is_string(element)
                            ? std::string(json_string_value(element), json_string_length(element))
                            : k::json_dump(element, JSON_ENCODE_ANY);
    if (begins_with(value, prefix)) out.add(std::move(value));
  }
  return false;
}

// Offers the children of `p` whose names begin with `prefix` (without regard to case, as the
// cache matches names), objects with a trailing "." and, with kListAbsolute, all with a leading
// ":"; then sorts the whole list. The entries are built straight from the cache's keys: a large
// table costs one string per instance and one sort.
void add_children(Client& client, cdpath& p, const std::string& prefix, int options,
                  Candidates& out) {
  bool absolute = options & kListAbsolute;
  out.reserve(p.node ? p.node->children().size() : 0);
  schema_for_each_child(client, p, prefix.c_str(), options | kListMatchPrefix,
                        [&](const char* name, bool parameter) {
                          std::string_view n(name);
                          std::string entry = absolute ? ":" : "";
                          entry.append(n);
                          if (!parameter && (n.empty() || n.back() != '.')) entry += '.';
                          out.add(std::move(entry));
                          return !out.full();
                        });
  out.sort();
}

// complete_paths from the position `start` (which is left as it is).
void complete_below(Client& client, const cdpath& start, const std::string& word, int options,
                    Candidates& out) {
  // Instances added or deleted by other clients are offered, or left out, at once.
  schema_apply_events(client);
  const SchemaNodePtr& root = client.view.schema_root;
  if (!root) return;
  cdpath copy = start;
  cdpath& p = copy;

  std::string rest = word;
  if (size_t eq = word.rfind('='); eq != std::string::npos) {
    if (cdpath_resolve_quiet(client, p, word.substr(0, eq).c_str()) != 0) return;
    rest = word.substr(eq + 1);
    if (!add_values(p.node.get(), rest, out)) return;  // values are offered in their own order
    cdpath_clear(p, root);                       // a path value: completed from the root
  }

  std::string prefix = rest;
  if (size_t dot = rest.rfind('.'); dot != std::string::npos) {
    if (cdpath_resolve_quiet(client, p, rest.substr(0, dot).c_str()) != 0) return;
    prefix = rest.substr(dot + 1);
  } else if (!rest.empty() && rest[0] == ':') {
    cdpath_clear(p, root);
    prefix = rest.substr(1);
    options |= kListAbsolute;
  }
  add_children(client, p, prefix, options, out);
}

}  // namespace

void complete_paths(Client& client, const std::string& word, int options, Candidates& out) {
  complete_below(client, client.view.current_path, word, options, out);
}

void complete_method_inputs(Client& client, const std::string& word, const std::string& method_path,
                            int options, Candidates& out) {
  schema_apply_events(client);
  if (!client.view.schema_root) return;
  // A copy of the position steps into the method's arguments; the shell's own never moves.
  cdpath method = client.view.current_path;
  if (cdpath_resolve_quiet(client, method, method_path.c_str()) != 0) return;
  method.in_method = true;
  if (cdpath_resolve_quiet(client, method, "#input") != 0) return;
  complete_below(client, method, word, options, out);
}

}  // namespace completion
