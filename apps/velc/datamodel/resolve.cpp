#include "datamodel/resolve.h"

#include <strings.h>

#include <cstdio>
#include <string_view>

#include "datamodel/schema.h"
#include "datamodel/tree.h"

std::string cached_spelling(const SchemaNode* node, const std::string& name) {
  if (!node || node->child(name)) return name;
  bool has_letter = false;
  for (char c : name) has_letter |= (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  if (!has_letter) return name;  // digits (instance numbers) have only one spelling
  for (const auto& [key, child] : node->children()) {
    if (strcasecmp(key.c_str(), name.c_str()) == 0) return key;
  }
  return name;
}

namespace {

// Steps into the child `name`; -1 when there is none or the path text would be too long.
int step_into(CommandContext& c, cdpath& p, const std::string& name) {
  SchemaNodePtr child = schema_child(c, p, name);
  if (!child) return -1;
  return cdpath_push(p, std::move(child), name);
}

int step_to_template(CommandContext& c, cdpath& p) {
  // A missing template is not an error here: the path gets an empty node of its own, which its
  // next fetch fills (from veld's answer about "<table>.#template."). It must not be left without
  // a node, since the commands take a position without a node for one without a schema cache.
  SchemaNodePtr templ = schema_child(c, p, "#template");
  if (!templ) templ = std::make_shared<SchemaNode>();
  p.via_template = true;
  return cdpath_push(p, std::move(templ), "#template");
}

int apply_element(CommandContext& c, cdpath& p, std::string_view element, bool echo) {
  switch (element[0]) {
    case '#':
      if (!p.in_method || element != "#input") return -1;
      return step_into(c, p, std::string(element));
    case '<':
      for (char c : element) {
        if (c != '<') return -1;
        cdpath_pop(p);
      }
      return 0;
    case '-':
      if (echo) std::fprintf(c.out, ":%s\n", c.view.previous_path.text.c_str());
      p = c.view.previous_path;
      p.via_template = false;  // what this resolution went through, not the stored one's
      return 0;
    case '*':
      return element.size() == 1 ? step_to_template(c, p) : -1;
    default: {
      // A name typed in another case is matched against the children, so they must be known:
      // asking for the name as typed fetches them (a table's instances are numbers: no case).
      std::string name(element);
      if (p.is_multi || !schema_child(c, p, name)) name = cached_spelling(p.node.get(), name);
      return step_into(c, p, name);
    }
  }
}

int resolve(CommandContext& client, cdpath& p, const char* text, bool echo) {
  if (!text) return -2;
  p.via_template = false;
  std::string_view rest(text);
  if (!rest.empty() && rest[0] == ':') {
    cdpath_clear(p, client.view.schema_root);
    rest.remove_prefix(1);
  }
  bool applied = k::tr_path_for_each(rest, [&](std::string_view element) {
    return apply_element(client, p, element, echo) == 0;
  });
  return applied ? 0 : -1;
}

}  // namespace

int cdpath_resolve(CommandContext& client, cdpath& p, const char* text) {
  return resolve(client, p, text, true);
}

int cdpath_resolve_quiet(CommandContext& client, cdpath& p, const char* text) {
  return resolve(client, p, text, false);
}

int resolve_argument(CommandContext& client, cdpath& p, const std::string& command, const char* argument,
                     NoSuchNode ending) {
  if (!p.node) return 0;
  int r = cdpath_resolve(client, p, argument);
  if (r != 0)
    std::fprintf(client.out, "%s: %s: no such node%s\n", command.c_str(), argument ? argument : "",
                 ending == NoSuchNode::kWithPeriod ? "." : "");
  return r;
}
