// The read operations: GetParameterNames, GetParameterValues and GetParameterAttributes, each
// built in one pass over the tree with the listed path grown and shrunk in one buffer.
#include "engine.h"

namespace sim {

namespace {

json_t* entry(const std::string& path, const char* key, json_t* stolen) {
  json_t* e = json_object();
  json_object_set_new(e, "Name", json_stringn(path.data(), path.size()));
  json_object_set_new(e, key, stolen);
  return e;
}

// The fixed attributes of the pseudo-parameters.
json_t* pseudo_attributes(Pseudo p) {
  static k::Json max_instance = k::json_parse(
      R"({"type":"unsignedInt","access":"readOnly","default":0,"runtime":true})");
  static k::Json order =
      k::json_parse(R"({"type":"list","access":"readOnly","default":[],"runtime":true})");
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

void Engine::list_names(Node& n, Pseudo p, std::string& path, bool recurse, json_t* out) {
  if (p != Pseudo::kNone) return;
  for_each_child(n, false, [&](Node& c, Pseudo cp, std::string_view element) {
    size_t mark = path.size();
    bool was_root = path == ".";
    append(path, c, cp, element);
    json_t* e = json_object();
    json_object_set_new(e, "Name", json_stringn(path.data(), path.size()));
    json_object_set_new(e, "Writable", json_boolean(writable(c, cp)));
    json_array_append_new(out, e);
    if (recurse) list_names(c, cp, path, true, out);
    if (was_root) path = "."; else path.resize(mark);
  });
}

Reply Engine::get_parameter_names(const Caller&, std::string_view path, bool next_level) {
  std::vector<Target> found;
  Fault fault;
  if (!resolve(*root_, path, TemplateMode::kSchema, found, fault)) return Reply{{}, fault};
  Target& t = found.front();
  k::Json list = k::Json::take(json_array());
  if (!next_level && t.node != root_.get()) {
    json_t* e = json_object();
    json_object_set_new(e, "Name", json_stringn(t.path.data(), t.path.size()));
    json_object_set_new(e, "Writable", json_boolean(writable(*t.node, t.pseudo)));
    json_array_append_new(list.get(), e);
  }
  list_names(*t.node, t.pseudo, t.path, !next_level, list.get());
  k::Json result = k::Json::take(json_object());
  json_object_set(result.get(), "ParameterList", list.get());
  return Reply{result, {}};
}

void Engine::list_values(const Caller& caller, Node& n, std::string& path, bool ignore,
                         json_t* out, bool& denied) {
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
      json_array_append_new(out, entry(path, "Value", pseudo_value(c, cp).release()));
    else if (c.kind == NodeKind::kParameter)
      json_array_append_new(out, entry(path, "Value", read_value(c).release()));
    else
      list_values(caller, c, path, ignore, out, denied);
    if (was_root) path = "."; else path.resize(mark);
  });
}

Reply Engine::get_parameter_values(const Caller& caller, const std::vector<std::string>& paths,
                                   bool ignore_access_error) {
  k::Json list = k::Json::take(json_array());
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
        json_array_append_new(list.get(), entry(t.path, "Value", pseudo_value(*t.node, t.pseudo).release()));
      } else if (t.node->kind == NodeKind::kParameter) {
        json_array_append_new(list.get(), entry(t.path, "Value", read_value(*t.node).release()));
      } else if (t.node->kind == NodeKind::kMethod) {
        // A method's values are its outputs (the last results).
        for (auto& out : t.node->children)
          json_array_append_new(list.get(),
                                entry(t.path + "." + out->name, "Value", read_value(*out).release()));
      } else {
        bool denied = false;
        list_values(caller, *t.node, t.path, ignore_access_error, list.get(), denied);
        if (denied) return Reply::failure(kRequestDenied, t.path + ": not readable");
      }
    }
    if (json_array_size(list.get()) > kMaxListed) return too_many();
  }
  k::Json result = k::Json::take(json_object());
  json_object_set(result.get(), "ParameterList", list.get());
  return Reply{result, {}};
}

void Engine::list_attributes(Node& n, Pseudo p, std::string& path, int depth, json_t* out) {
  json_t* attr = p == Pseudo::kNone ? n.attr.get() : pseudo_attributes(p);
  json_array_append_new(out, entry(path, "Attributes", json_incref(attr)));
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
  k::Json list = k::Json::take(json_array());
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
    list_attributes(*t.node, t.pseudo, t.path, depth, list.get());
    if (json_array_size(list.get()) > kMaxListed) return too_many();
  }
  k::Json result = k::Json::take(json_object());
  json_object_set(result.get(), "ParameterList", list.get());
  return Reply{result, {}};
}

}  // namespace sim
