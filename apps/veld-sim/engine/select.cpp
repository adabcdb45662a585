// The Select method: the configuration subtrees and parameters a selector names.
#include "engine/caller_rights.h"
#include "engine/engine.h"
#include "engine/selector.h"
#include "model/config_tree.h"
#include "model/model_load.h"

namespace sim {

namespace {

using Kind = SelectorElement::Kind;

// The text a condition compares with: a text as it is, anything else as compact JSON ("true",
// "42", "1.5", "[3,1]").
std::string value_text(json_t* v) {
  if (json_is_string(v)) return std::string(json_string_value(v), json_string_length(v));
  return k::json_dump(v, JSON_COMPACT | JSON_ENCODE_ANY);
}

// The parameter a condition names below `inst`. In the schema (`schema` true, `inst` a
// template) an instance number steps into the nested table's template; in the data it needs
// that instance. None when the path names no parameter there.
const Node* condition_parameter(const Node& inst, std::string_view path, bool schema) {
  const Node* n = &inst;
  while (n) {
    size_t dot = path.find('.');
    std::string_view element = path.substr(0, dot);
    uint32_t number;
    if (n->kind == NodeKind::kTable)
      n = !parse_instance_number(element, number) ? nullptr
          : schema                                ? n->templ.get()
                                                  : n->instance(number);
    else if (n->kind == NodeKind::kObject)
      n = n->child(element);
    else
      n = nullptr;
    if (dot == std::string_view::npos) break;
    path.remove_prefix(dot + 1);
  }
  return n && n->kind == NodeKind::kParameter ? n : nullptr;
}

// One evaluation of a selector. The schema walk finds the elements that name nothing, whether
// or not any instance exists; the data walk then gathers what matches.
struct SelectWalk {
  const Selector& sel;
  std::function<bool(const Node&)> readable;
  std::function<k::Json(const Node&)> value;
  k::Json selection = k::Json::take(json_object());
  std::optional<Reply> fault{};

  // The selector up to and with element i.
  std::string upto(size_t i) const { return sel.text.substr(0, sel.elements[i].end); }

  bool fail(int code, std::string detail) {
    if (!fault) fault = Reply::failure(code, std::move(detail));
    return false;
  }

  bool schema(const Node& n, size_t i) {
    if (i == sel.elements.size()) {
      if (n.is_object_like() == sel.object) return true;
      return fail(kInvalidName,
                  sel.text + (sel.object ? ": not an object: a parameter's path has no trailing dot"
                                         : ": an object: its path ends with a dot"));
    }
    const SelectorElement& e = sel.elements[i];
    uint32_t number;
    if (n.kind == NodeKind::kTable) {
      if (e.kind == Kind::kName && !parse_instance_number(e.name, number))
        return fail(kInvalidName, upto(i) + ": no such node");
      for (const SelectorCondition& c : e.conditions)
        if (!condition_parameter(*n.templ, c.param, true))
          return fail(kInvalidName,
                      upto(i) + ": " + c.param + ": no such parameter in the instances");
      return schema(*n.templ, i + 1);
    }
    if (n.kind != NodeKind::kObject) return fail(kInvalidName, upto(i) + ": no such node");
    if (e.kind != Kind::kName)
      return fail(kInvalidName,
                  upto(i) + ": \"*\" and \"[...]\" stand for the instances of a table");
    const Node* c = n.child(e.name);
    if (!c) return fail(kInvalidName, upto(i) + ": no such node");
    if (c->kind == NodeKind::kMethod)
      return fail(kInvalidName, upto(i) + ": a method, not configuration");
    return schema(*c, i + 1);
  }

  bool holds(const Node& inst, const SelectorElement& e) {
    for (const SelectorCondition& c : e.conditions) {
      const Node* param = condition_parameter(inst, c.param, false);
      // A parameter the caller may not read (or that this instance lacks) matches nothing.
      if (!param || !readable(*param)) return false;
      if ((value_text(value(*param).get()) == c.value) != c.equal) return false;
    }
    return true;
  }

  // Follows element i on from `n`. Below a "*" or "[...]" (`expanded`), an instance that
  // lacks a numbered instance, or a node the caller may not read, is passed over; named
  // outright, each is a fault.
  void gather(Node& n, size_t i, bool expanded) {
    if (fault) return;
    if (i == sel.elements.size()) return add(n);
    const SelectorElement& e = sel.elements[i];
    Node* next;
    if (n.kind == NodeKind::kTable && e.kind != Kind::kName) {
      for (uint32_t number : instance_numbers(n)) {
        Node& inst = *n.instance(number);
        if (readable(inst) && holds(inst, e)) gather(inst, i + 1, true);
      }
      return;
    }
    if (n.kind == NodeKind::kTable) {
      uint32_t number = 0;
      parse_instance_number(e.name, number);
      next = n.instance(number);
      if (!next) {
        if (!expanded) fail(kInvalidName, upto(i) + ": no such node");
        return;
      }
    } else {
      next = n.child(e.name);  // the schema walk found it
    }
    if (!readable(*next)) {
      if (!expanded) fail(kRequestDenied, upto(i) + ": no right to read");
      return;
    }
    gather(*next, i + 1, expanded);
  }

  void add(Node& n) {
    if (n.kind != NodeKind::kParameter) {
      ConfigTreeRules rules{.include = readable, .value = value};
      std::string base = node_path(n);
      json_object_setn_new(selection.get(), base.data(), base.size(),
                           config_tree(n, rules).release());
      return;
    }
    // Parameters of one parent share its member.
    std::string base = node_path(*n.parent);
    json_t* members = json_object_getn(selection.get(), base.data(), base.size());
    if (!members) {
      members = json_object();
      json_object_setn_new(selection.get(), base.data(), base.size(), members);
    }
    json_object_setn_new(members, n.name.data(), n.name.size(), value(n).release());
  }
};

}  // namespace

Reply Engine::select(const Caller& caller, std::string_view text) {
  Selector sel;
  std::string error;
  if (!parse_selector(text, sel, error)) return Reply::failure(kInvalidArguments, error);
  SelectWalk walk{
      .sel = sel,
      // An object is passed through when anything inside it is readable; a parameter is
      // selected only when it is readable itself.
      .readable =
          [&](const Node& n) {
            NodeAccess access = access_to(caller, n, node_path(n));
            return n.is_object_like() ? access.visible
                                      : access.readable && !refused_to_guest(caller, n);
          },
      .value = [&](const Node& n) { return read_value(caller, n); },
  };
  if (walk.schema(*root_, 0)) walk.gather(*root_, 0, false);
  if (walk.fault) return *walk.fault;
  Reply r;
  r.result = k::Json::take(json_object());
  json_object_set(r.result.get(), "Selection", walk.selection.get());
  return r;
}

}  // namespace sim
