// The read operations: GetParameterNames, GetParameterValues and GetParameterAttributes, each
// built in one pass over the tree with the listed path grown and shrunk in one buffer. Nodes
// the caller may not see are left out of listings; naming one is refused.
#include "engine/caller_rights.h"
#include "engine/engine.h"
#include "engine/list_writer.h"

namespace sim {

namespace {

// The fixed attributes of the pseudo-parameters. Neither is "runtime": both are the table's own
// state (kept with it, changed only by AddObject and ChangeOrder), not computed by a handler.
// "order" is a list whose default, and so every value, is a JSON array of instance numbers.
json_t* pseudo_attributes(Pseudo p) {
  static k::Json max_instance =
      k::json_parse(R"({"type":"unsignedInt","access":"readOnly","default":0})");
  static k::Json order = k::json_parse(R"({"type":"list","access":"readOnly","default":[]})");
  return p == Pseudo::kOrder ? order.get() : max_instance.get();
}

k::Json pseudo_value(const Node& table, Pseudo p) {
  if (p == Pseudo::kMaxInstance) return k::Json::take(json_integer(table.max_instance));
  k::Json list = k::Json::take(json_array());
  for (uint32_t n : table.order) json_array_append_new(list.get(), json_integer(n));
  return list;
}

// "Writable" of a name listing: what the model allows and the caller's rights (`rights`, the
// letters at the node) permit: setting a parameter, adding to a table, deleting an instance.
bool writable(const Node& n, Pseudo p, unsigned rights) {
  if (p != Pseudo::kNone) return false;
  switch (n.kind) {
    case NodeKind::kParameter: return is_writable_parameter(n) && (rights & kRightWrite);
    case NodeKind::kTable: return is_writable_table(n) && (rights & kRightAdd);
    case NodeKind::kObject:
      return n.is_instance() && is_writable_table(*n.parent) && (rights & kRightDelete);
    case NodeKind::kMethod: return false;
  }
  return false;
}

// Appends a child's element to the listed path; objects get their trailing dot.
void append(std::string& path, const Node& child, Pseudo p, std::string_view element) {
  if (path == ".") path.clear();
  if (!path.empty() && path.back() != '.') path.push_back('.');  // below a method
  path.append(element);
  if (p == Pseudo::kNone && child.is_object_like()) path.push_back('.');
}

// A reply may list this many entries; a request asking for more (the same large object again
// and again) gets 9004 instead of exhausting the daemon's memory.
constexpr size_t kMaxListed = 4000000;

Reply too_many() {
  return Reply::failure(kResourcesExceeded, "the reply would list more than 4000000 entries");
}

Reply not_readable(const std::string& path) {
  return Reply::failure(kRequestDenied, path + ": no right to read");
}

Reply nobody_logged_in() { return Reply::failure(kRequestDenied, "nobody is logged in"); }

// True when a node is shown at all: seen, or for a pseudo-parameter its table readable.
bool shown(const NodeAccess& a, Pseudo p) { return p == Pseudo::kNone ? a.visible : a.readable; }

// The access to a named node: a pseudo-parameter is judged as its table.
NodeAccess access_to_target(const Caller& caller, const Target& t) {
  if (t.pseudo == Pseudo::kNone) return access_to(caller, *t.node, t.path);
  return access_to(caller, *t.node, node_path(*t.node));
}

}  // namespace

void for_each_child(Node& n, bool with_template,
                    const std::function<void(Node&, Pseudo, std::string_view)>& fn) {
  switch (n.kind) {
    case NodeKind::kParameter:
      return;
    case NodeKind::kTable: {
      if (with_template) fn(*n.templ, Pseudo::kNone, "#template");
      for (uint32_t number : instance_numbers(n)) fn(*n.instance(number), Pseudo::kNone, std::to_string(number));
      fn(n, Pseudo::kMaxInstance, pseudo_name(Pseudo::kMaxInstance));
      if (is_ordered(n)) fn(n, Pseudo::kOrder, pseudo_name(Pseudo::kOrder));
      return;
    }
    case NodeKind::kMethod:
      fn(*n.input, Pseudo::kNone, "#input");
      [[fallthrough]];
    case NodeKind::kObject:
      for (auto& c : n.children) fn(*c, Pseudo::kNone, c->name);
      return;
  }
}

void Engine::list_names(const Caller& caller, Node& n, Pseudo p, std::string& path, bool recurse,
                        RightsScope scope, ListWriter& out) {
  if (p != Pseudo::kNone) return;
  // A pseudo-parameter takes the table's rights: those of `n`, at `path` before it grows.
  NodeAccess table = access_to(caller, n, path, scope);
  for_each_child(n, false, [&](Node& c, Pseudo cp, std::string_view element) {
    size_t mark = path.size();
    bool was_root = path == ".";
    append(path, c, cp, element);
    NodeAccess a = cp == Pseudo::kNone ? access_to(caller, c, path, scope) : table;
    if (shown(a, cp)) {
      out.add(path, "Writable", writable(c, cp, a.rights));
      if (recurse) list_names(caller, c, cp, path, true, a.inside, out);
    }
    if (was_root) path = "."; else path.resize(mark);
  });
}

Reply Engine::get_parameter_names(const Caller& caller, std::string_view path, bool next_level) {
  std::vector<Target> found;
  Fault fault;
  if (!resolve(*root_, path, TemplateMode::kSchema, found, fault)) return Reply{{}, fault};
  Target& t = found.front();
  NodeAccess a = access_to_target(caller, t);
  if (!shown(a, t.pseudo)) return not_readable(t.path);
  ListWriter list;
  if (!next_level && t.node != root_.get())
    list.add(t.path, "Writable", writable(*t.node, t.pseudo, a.rights));
  list_names(caller, *t.node, t.pseudo, t.path, !next_level, a.inside, list);
  return Reply::listing(list.finish());
}

void Engine::list_values(const Caller& caller, Node& n, std::string& path, RightsScope scope,
                         ListWriter& out) {
  NodeAccess table = access_to(caller, n, path, scope);
  for_each_child(n, false, [&](Node& c, Pseudo cp, std::string_view element) {
    if (cp == Pseudo::kNone && c.kind == NodeKind::kMethod) return;
    size_t mark = path.size();
    bool was_root = path == ".";
    append(path, c, cp, element);
    if (cp != Pseudo::kNone) {
      if (table.readable) out.add(path, "Value", pseudo_value(c, cp).get());
    } else if (NodeAccess a = access_to(caller, c, path, scope); a.visible) {
      if (c.kind != NodeKind::kParameter)
        list_values(caller, c, path, a.inside, out);
      else if (!refused_to_guest(caller, c))
        out.add(path, "Value", read_value(caller, c).get());
    }
    if (was_root) path = "."; else path.resize(mark);
  });
}

Reply Engine::get_parameter_values(const Caller& caller, const std::vector<std::string>& paths,
                                   bool ignore_access_error) {
  ListWriter list;
  std::vector<Target> found;
  for (const std::string& path : paths) {
    found.clear();
    Fault fault;
    if (!resolve(*root_, path, TemplateMode::kExpand, found, fault)) return Reply{{}, fault};
    // Through "#template" a path lists the instances: those the caller may not read are left
    // out, as in any listing.
    bool listing = path.find("#template") != std::string::npos;
    for (Target& t : found) {
      NodeAccess a = access_to_target(caller, t);
      if (!shown(a, t.pseudo)) {
        if (ignore_access_error || listing) continue;
        return not_readable(t.path);
      }
      if (t.pseudo != Pseudo::kNone) {
        list.add(t.path, "Value", pseudo_value(*t.node, t.pseudo).get());
      } else if (t.node->kind == NodeKind::kParameter) {
        if (refused_to_guest(caller, *t.node)) {
          if (ignore_access_error || listing) continue;
          return nobody_logged_in();
        }
        list.add(t.path, "Value", read_value(caller, *t.node).get());
      } else if (t.node->kind == NodeKind::kMethod) {
        // A method's values are its outputs (the last results), those the caller may read.
        for (auto& out : t.node->children) {
          std::string name = t.path + "." + out->name;
          if (access_to(caller, *out, name, a.inside).readable && !refused_to_guest(caller, *out))
            list.add(name, "Value", read_value(caller, *out).get());
        }
      } else {
        list_values(caller, *t.node, t.path, a.inside, list);
      }
    }
    if (list.count() > kMaxListed) return too_many();
  }
  return Reply::listing(list.finish());
}

void Engine::list_attributes(const Caller& caller, Node& n, Pseudo p, std::string& path,
                             int depth, RightsScope scope, ListWriter& out) {
  json_t* attr = p == Pseudo::kNone ? n.attr.get() : pseudo_attributes(p);
  out.add_shared(path, "Attributes", attr);
  if (depth == 0 || p != Pseudo::kNone) return;
  NodeAccess table = access_to(caller, n, path, scope);
  for_each_child(n, true, [&](Node& c, Pseudo cp, std::string_view element) {
    // A template or an argument list is always given whole, as one piece of schema.
    bool whole = cp == Pseudo::kNone && (&c == n.templ.get() || &c == n.input.get());
    int child_depth = whole || depth < 0 ? -1 : depth - 1;
    size_t mark = path.size();
    bool was_root = path == ".";
    append(path, c, cp, element);
    NodeAccess a = cp == Pseudo::kNone ? access_to(caller, c, path, scope) : table;
    if (shown(a, cp))
      list_attributes(caller, c, cp, path, child_depth, a.inside, out);
    if (was_root) path = "."; else path.resize(mark);
  });
}

Reply Engine::get_parameter_attributes(const Caller& caller,
                                       const std::vector<std::string>& paths, int depth,
                                       bool ignore_access_error) {
  ListWriter list;
  std::vector<Target> found;
  for (const std::string& path : paths) {
    found.clear();
    Fault fault;
    if (!resolve(*root_, path, TemplateMode::kSchema, found, fault)) return Reply{{}, fault};
    Target& t = found.front();
    NodeAccess a = access_to_target(caller, t);
    if (!shown(a, t.pseudo)) {
      if (ignore_access_error) continue;
      return not_readable(t.path);
    }
    list_attributes(caller, *t.node, t.pseudo, t.path, depth, a.inside, list);
    if (list.count() > kMaxListed) return too_many();
  }
  return Reply::listing(list.finish());
}

}  // namespace sim
