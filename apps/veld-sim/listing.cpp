// The read operations: GetParameterNames, GetParameterValues and GetParameterAttributes, each
// built in one pass over the tree with the listed path grown and shrunk in one buffer.
#include "engine.h"
#include "list_writer.h"

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

bool writable(const Node& n, Pseudo p) {
  if (p != Pseudo::kNone) return false;
  switch (n.kind) {
    case NodeKind::kParameter: return is_writable_parameter(n);
    case NodeKind::kTable: return is_writable_table(n);
    case NodeKind::kObject: return n.is_instance() && is_writable_table(*n.parent);
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

void Engine::list_names(Node& n, Pseudo p, std::string& path, bool recurse, ListWriter& out) {
  if (p != Pseudo::kNone) return;
  for_each_child(n, false, [&](Node& c, Pseudo cp, std::string_view element) {
    size_t mark = path.size();
    bool was_root = path == ".";
    append(path, c, cp, element);
    out.add(path, "Writable", writable(c, cp));
    if (recurse) list_names(c, cp, path, true, out);
    if (was_root) path = "."; else path.resize(mark);
  });
}

Reply Engine::get_parameter_names(const Caller&, std::string_view path, bool next_level) {
  std::vector<Target> found;
  Fault fault;
  if (!resolve(*root_, path, TemplateMode::kSchema, found, fault)) return Reply{{}, fault};
  Target& t = found.front();
  ListWriter list;
  if (!next_level && t.node != root_.get()) list.add(t.path, "Writable", writable(*t.node, t.pseudo));
  list_names(*t.node, t.pseudo, t.path, !next_level, list);
  return Reply::listing(list.finish());
}

void Engine::list_values(const Caller& caller, Node& n, std::string& path, bool ignore,
                         ListWriter& out, bool& denied) {
  for_each_child(n, false, [&](Node& c, Pseudo cp, std::string_view element) {
    if (denied || (cp == Pseudo::kNone && c.kind == NodeKind::kMethod)) return;
    if (!may_read(caller, c)) {
      denied = !ignore;
      return;
    }
    size_t mark = path.size();
    bool was_root = path == ".";
    append(path, c, cp, element);
    if (cp != Pseudo::kNone)
      out.add(path, "Value", pseudo_value(c, cp).get());
    else if (c.kind == NodeKind::kParameter)
      out.add(path, "Value", read_value(c).get());
    else
      list_values(caller, c, path, ignore, out, denied);
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
    for (Target& t : found) {
      if (!may_read(caller, *t.node)) {
        if (ignore_access_error) continue;
        return Reply::failure(kRequestDenied, t.path + ": not readable");
      }
      if (t.pseudo != Pseudo::kNone) {
        list.add(t.path, "Value", pseudo_value(*t.node, t.pseudo).get());
      } else if (t.node->kind == NodeKind::kParameter) {
        list.add(t.path, "Value", read_value(*t.node).get());
      } else if (t.node->kind == NodeKind::kMethod) {
        // A method's values are its outputs (the last results).
        for (auto& out : t.node->children)
          list.add(t.path + "." + out->name, "Value", read_value(*out).get());
      } else {
        bool denied = false;
        list_values(caller, *t.node, t.path, ignore_access_error, list, denied);
        if (denied) return Reply::failure(kRequestDenied, t.path + ": not readable");
      }
    }
    if (list.count() > kMaxListed) return too_many();
  }
  return Reply::listing(list.finish());
}

void Engine::list_attributes(Node& n, Pseudo p, std::string& path, int depth, ListWriter& out) {
  json_t* attr = p == Pseudo::kNone ? n.attr.get() : pseudo_attributes(p);
  out.add_shared(path, "Attributes", attr);
  if (depth == 0 || p != Pseudo::kNone) return;
  for_each_child(n, true, [&](Node& c, Pseudo cp, std::string_view element) {
    // A template or an argument list is always given whole, as one piece of schema.
    bool whole = cp == Pseudo::kNone && (&c == n.templ.get() || &c == n.input.get());
    int child_depth = whole || depth < 0 ? -1 : depth - 1;
    size_t mark = path.size();
    bool was_root = path == ".";
    append(path, c, cp, element);
    list_attributes(c, cp, path, child_depth, out);
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
    if (!may_read(caller, *t.node)) {
      if (ignore_access_error) continue;
      return Reply::failure(kRequestDenied, t.path + ": not readable");
    }
    list_attributes(*t.node, t.pseudo, t.path, depth, list);
    if (list.count() > kMaxListed) return too_many();
  }
  return Reply::listing(list.finish());
}

}  // namespace sim
