#include "model/model_load.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "model/handlers.h"
#include "model/value_check.h"

namespace sim {

namespace {

// Loading stops at the first error; the loader carries it and the path being read.
struct Loader {
  // A "#target" to look up once the whole tree is built (it may name a later sibling).
  struct PendingTarget {
    Node* node;
    std::string path;
    TargetKind kind;
  };

  std::string error;
  std::vector<PendingTarget> targets;
  // Reading a saved configuration: a table's instances replace those of the model, and
  // "#max_instance" may give its highest number handed out.
  bool saved = false;
  const Node* root = nullptr;  // the root, once its node exists

  bool fail(const std::string& path, const std::string& why) {
    if (error.empty()) error = (path.empty() ? "." : path) + ": " + why;
    return false;
  }

  static bool is_special(const char* key) { return key[0] == '#'; }

  std::unique_ptr<Node> node(json_t* j, const std::string& name, Node* parent,
                             const std::string& path);
  bool object_members(json_t* j, Node& n, const std::string& path);
  bool table_members(json_t* j, Node& n, const std::string& path);
  bool parameter_members(json_t* j, Node& n, const std::string& path);
  bool method_members(json_t* j, Node& n, const std::string& path);
  bool values(json_t* j, Node& n, const std::string& path);
  bool instances(json_t* j, Node& table, const std::string& path);
  bool set_value(json_t* v, Node& param, const std::string& path);
  bool behaviour(json_t* j, Node& n, const std::string& path);
  bool unique_values(Node& table, const std::string& path);
  bool resolve_targets();
};

// "#handler" and "#target" are read by Loader::behaviour.
bool is_behaviour_key(const char* key) {
  return !std::strcmp(key, "#handler") || !std::strcmp(key, "#target");
}

// A "#target" text: elements joined by dots, none empty (so no leading or trailing dot).
bool is_relative_path(const std::string& text) {
  if (text.empty() || text.front() == '.' || text.back() == '.') return false;
  return text.find("..") == std::string::npos;
}

const char* kind_word(TargetKind kind) {
  switch (kind) {
    case TargetKind::kTable: return "table";
    case TargetKind::kObject: return "object";
    case TargetKind::kParameter: return "parameter";
    case TargetKind::kNone: break;
  }
  return "node";
}

bool has_kind(const Node& n, TargetKind kind) {
  switch (kind) {
    case TargetKind::kTable: return n.kind == NodeKind::kTable;
    case TargetKind::kObject: return n.kind == NodeKind::kObject;
    case TargetKind::kParameter: return n.kind == NodeKind::kParameter;
    case TargetKind::kNone: break;
  }
  return false;
}

std::string join(const std::string& path, const std::string& element) {
  return path.empty() ? element : path + "." + element;
}

std::unique_ptr<Node> Loader::node(json_t* j, const std::string& name, Node* parent,
                                   const std::string& path) {
  if (!json_is_object(j)) return fail(path, "a node must be a JSON object"), nullptr;
  auto n = std::make_unique<Node>();
  n->name = name;
  n->parent = parent;
  if (!parent) root = n.get();
  json_t* attr = json_object_get(j, "#attr");
  if (attr && !json_is_object(attr)) return fail(path, "\"#attr\" must be an object"), nullptr;
  n->attr = attr ? k::Json::take(json_deep_copy(attr)) : k::Json::take(json_object());
  bool multi = json_is_true(json_object_get(n->attr.get(), "multi"));
  if (!json_object_get(n->attr.get(), "type")) {
    // Without a type a node is a plain object; a table says what it is.
    if (multi) return fail(path, "a table needs \"type\": \"object\""), nullptr;
    json_object_set_new(n->attr.get(), "type", json_string("object"));
  }
  std::string type = k::json_text(n->attr.get(), "type");
  if (type.empty()) return fail(path, "\"type\" must be a text"), nullptr;
  if (multi && type != "object")
    return fail(path, "\"multi\": true is for objects, not \"" + type + "\""), nullptr;

  bool ok;
  if (type == "object" && multi) {
    n->kind = NodeKind::kTable;
    ok = table_members(j, *n, path);
  } else if (type == "object") {
    n->kind = NodeKind::kObject;
    ok = object_members(j, *n, path);
  } else if (type == "method") {
    n->kind = NodeKind::kMethod;
    ok = method_members(j, *n, path);
  } else {
    n->kind = NodeKind::kParameter;
    ok = parameter_members(j, *n, path);
  }
  return ok ? std::move(n) : nullptr;
}

bool Loader::object_members(json_t* j, Node& n, const std::string& path) {
  const char* key;
  json_t* v;
  json_object_foreach(j, key, v) {
    if (!std::strcmp(key, "#attr") || !std::strcmp(key, "#comment")) continue;
    if (&n == root && !std::strcmp(key, "#access")) continue;  // the accounts: read apart
    if (is_special(key)) return fail(path, std::string("unexpected key ") + key + " in an object");
    if (!*key || std::strchr(key, '.'))
      return fail(path, std::string("bad element name \"") + key + "\"");
    auto c = node(v, key, &n, join(path, key));
    if (!c) return false;
    n.children.push_back(std::move(c));
  }
  return true;
}

bool Loader::table_members(json_t* j, Node& n, const std::string& path) {
  json_t* t = json_object_get(j, "#template");
  if (!t) return fail(path, "a table needs \"#template\"");
  n.templ = node(t, "#template", &n, join(path, "#template"));
  if (!n.templ) return false;
  if (n.templ->kind != NodeKind::kObject) return fail(path, "a template must be an object");
  return instances(j, n, path);
}

bool Loader::instances(json_t* j, Node& table, const std::string& path) {
  if (saved) {
    table.instances.clear();
    table.order.clear();
    table.max_instance = 0;
  }
  const char* key;
  json_t* v;
  json_object_foreach(j, key, v) {
    if (is_special(key)) {
      if (!std::strcmp(key, "#attr") || !std::strcmp(key, "#comment") ||
          !std::strcmp(key, "#template") || !std::strcmp(key, "#order") ||
          (saved && !std::strcmp(key, "#max_instance")))
        continue;
      return fail(path, std::string("unexpected key ") + key + " in a table");
    }
    uint32_t number;
    if (!parse_instance_number(key, number))
      return fail(path, std::string("\"") + key + "\" is not an instance number");
    if (table.in_template()) return fail(path, "a table inside a template holds no instances");
    Node& inst = add_instance(table, number);
    if (!json_is_object(v)) return fail(join(path, key), "an instance must be an object");
    if (!values(v, inst, join(path, key))) return false;
  }
  json_t* order = json_object_get(j, "#order");
  if (order) {
    if (!is_ordered(table)) return fail(path, "\"#order\" given for a table that is not ordered");
    std::vector<uint32_t> listed;
    size_t i;
    json_t* e;
    json_array_foreach(order, i, e) {
      long long num = json_is_integer(e) ? json_integer_value(e) : -1;
      if (num < 1 || num > UINT32_MAX || !table.instance(static_cast<uint32_t>(num)))
        return fail(path, "\"#order\" names an instance the table lacks");
      listed.push_back(static_cast<uint32_t>(num));
    }
    std::vector<uint32_t> sorted_listed = listed, all = instance_numbers(table);
    std::sort(sorted_listed.begin(), sorted_listed.end());
    std::sort(all.begin(), all.end());
    if (sorted_listed != all) return fail(path, "\"#order\" must name every instance once");
    table.order = listed;
  }
  if (json_t* max = json_object_get(j, "#max_instance"); saved && max) {
    long long number = json_is_integer(max) ? json_integer_value(max) : -1;
    if (number < table.max_instance || number > UINT32_MAX)
      return fail(path, "\"#max_instance\" must be a number from the highest instance's to "
                        "4294967295");
    table.max_instance = static_cast<uint32_t>(number);
  }
  return unique_values(table, path);
}

bool Loader::parameter_members(json_t* j, Node& n, const std::string& path) {
  json_t* def = json_object_get(n.attr.get(), "default");
  if (!def) return fail(path, "a parameter needs a \"default\" attribute");
  if (json_is_null(def) || json_is_object(def))
    return fail(path, "a \"default\" is a text, number, boolean or array");
  json_t* pattern = json_object_get(n.attr.get(), "regex");
  if (json_is_string(pattern) && !regex_compiles(json_string_value(pattern)))
    return fail(path, "the regex does not compile");
  const char* key;
  json_t* v;
  json_object_foreach(j, key, v) {
    if (!std::strcmp(key, "#attr") || !std::strcmp(key, "#comment") ||
        !std::strcmp(key, "#value") || is_behaviour_key(key))
      continue;
    return fail(path, std::string("unexpected key ") + key + " in a parameter");
  }
  if (!behaviour(j, n, path)) return false;
  n.value = k::Json::take(json_deep_copy(def));
  json_t* value = json_object_get(j, "#value");
  return !value || set_value(value, n, path);
}

bool Loader::method_members(json_t* j, Node& n, const std::string& path) {
  json_t* in = json_object_get(j, "#input");
  json_t* out = json_object_get(j, "#output");
  k::Json empty = k::Json::take(json_object());
  n.input = node(in ? in : empty.get(), "#input", &n, join(path, "#input"));
  if (!n.input) return false;
  if (n.input->kind != NodeKind::kObject) return fail(path, "\"#input\" must be an object");
  for (const auto& arg : n.input->children)
    if (arg->kind != NodeKind::kParameter)
      return fail(join(path, "#input." + arg->name), "an argument must be a parameter");
  if (out) {
    auto outputs = node(out, "#output", &n, join(path, "#output"));
    if (!outputs) return false;
    for (auto& c : outputs->children) {
      if (c->kind != NodeKind::kParameter)
        return fail(join(path, c->name), "an output must be a parameter");
      c->parent = &n;
      n.children.push_back(std::move(c));
    }
  }
  const char* key;
  json_t* v;
  json_object_foreach(j, key, v) {
    if (std::strcmp(key, "#attr") && std::strcmp(key, "#comment") && std::strcmp(key, "#input") &&
        std::strcmp(key, "#output") && !is_behaviour_key(key))
      return fail(path, std::string("unexpected key ") + key + " in a method");
  }
  return behaviour(j, n, path);
}

// A parameter's or method's built-in behaviour: a known handler of the node's kind, with a
// "#target" exactly when the handler works on one.
bool Loader::behaviour(json_t* j, Node& n, const std::string& path) {
  json_t* handler = json_object_get(j, "#handler");
  json_t* target = json_object_get(j, "#target");
  if (handler && !json_is_string(handler)) return fail(path, "\"#handler\" must be a text");
  if (target && !json_is_string(target)) return fail(path, "\"#target\" must be a text");
  const HandlerInfo* h = nullptr;
  if (handler) {
    n.handler = json_string_value(handler);
    h = find_handler(n.handler);
    if (!h) return fail(path, "unknown handler \"" + n.handler + "\"");
    bool method = n.kind == NodeKind::kMethod;
    if (h->method != method)
      return fail(path, "\"" + n.handler + "\" is a handler of " +
                            (h->method ? "methods, not of parameters" : "parameters, not of methods"));
  }
  TargetKind wanted = h ? h->target : TargetKind::kNone;
  if (!target) {
    if (wanted != TargetKind::kNone)
      return fail(path, "the \"" + n.handler + "\" handler needs a \"#target\"");
    return true;
  }
  if (wanted == TargetKind::kNone)
    return fail(path, h ? "the \"" + n.handler + "\" handler takes no \"#target\""
                        : std::string("\"#target\" without a \"#handler\""));
  n.handler_arg = json_string_value(target);
  if (!is_relative_path(n.handler_arg))
    return fail(path, "\"#target\" \"" + n.handler_arg +
                          "\" is not a relative path without a trailing dot");
  targets.push_back({&n, path, wanted});
  return true;
}

bool Loader::resolve_targets() {
  for (const PendingTarget& t : targets) {
    Node* found = handler_target(*t.node);
    if (!found || !has_kind(*found, t.kind))
      return fail(t.path, "\"#target\" \"" + t.node->handler_arg + "\" names no " +
                              kind_word(t.kind));
  }
  return true;
}

// No two instances of a table hold the same value of a unique parameter (the empty text
// excepted), as SetParameterValues would refuse it.
bool Loader::unique_values(Node& table, const std::string& path) {
  for (const auto& param : table.templ->children) {
    if (param->kind != NodeKind::kParameter || !attr_bool(*param, "unique")) continue;
    std::map<std::string, uint32_t> seen;  // compact JSON of a value -> the instance holding it
    for (uint32_t number : instance_numbers(table)) {
      json_t* v = table.instance(number)->child(param->name)->value.get();
      if (json_is_string(v) && json_string_length(v) == 0) continue;
      auto [at, fresh] = seen.emplace(k::json_dump(v, JSON_COMPACT | JSON_ENCODE_ANY), number);
      if (!fresh)
        return fail(join(path, std::to_string(number) + "." + param->name),
                    "bad value: instance " + std::to_string(at->second) + " holds it already");
    }
  }
  return true;
}

// The members of an instance give values only: the schema is the template's.
bool Loader::values(json_t* j, Node& n, const std::string& path) {
  const char* key;
  json_t* v;
  json_object_foreach(j, key, v) {
    if (!std::strcmp(key, "#comment")) continue;
    Node* c = n.child(key);
    if (!c) return fail(join(path, key), "not in the template");
    std::string sub = join(path, key);
    switch (c->kind) {
      case NodeKind::kParameter: {
        json_t* value = json_is_object(v) ? json_object_get(v, "#value") : v;
        if (!value) return fail(sub, "expects a value or {\"#value\": ...}");
        if (!set_value(value, *c, sub)) return false;
        break;
      }
      case NodeKind::kObject:
        if (!json_is_object(v) || !values(v, *c, sub)) return fail(sub, "expects an object");
        break;
      case NodeKind::kTable:
        if (!json_is_object(v) || !instances(v, *c, sub)) return fail(sub, "expects instances");
        break;
      case NodeKind::kMethod:
        return fail(sub, "a method takes no values");
    }
  }
  return true;
}

bool Loader::set_value(json_t* v, Node& param, const std::string& path) {
  k::Json stored;
  std::string why;
  if (check_value(param.attr.get(), v, stored, &why) != 0)
    return fail(path, "bad value: " + why);
  param.value = k::Json::take(json_deep_copy(stored.get()));
  return true;
}

}  // namespace

bool parse_instance_number(std::string_view element, uint32_t& number) {
  if (element.empty() || element.size() > 10 || element[0] == '0') return false;
  uint64_t v = 0;
  for (char c : element) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > UINT32_MAX) return false;
  number = static_cast<uint32_t>(v);
  return true;
}

std::unique_ptr<Node> load_model(json_t* model, std::string& error, Accounts* accounts) {
  Loader loader;
  auto root = loader.node(model, "", nullptr, "");
  if (root && root->kind != NodeKind::kObject) {
    loader.fail("", "the root must be an object");
    root.reset();
  }
  if (root && !loader.resolve_targets()) root.reset();
  error = loader.error;
  Accounts read;
  json_t* access = json_object_get(model, "#access");
  if (root && access && !parse_accounts(access, read, error)) root.reset();
  if (root && accounts) *accounts = std::move(read);
  return root;
}

k::Json read_json_file(const std::string& file, std::string& error) {
  json_error_t err;
  k::Json json = k::Json::take(json_load_file(file.c_str(), 0, &err));
  if (!json) error = file + ":" + std::to_string(err.line) + ": " + err.text;
  return json;
}

std::unique_ptr<Node> load_model_file(const std::string& file, std::string& error,
                                      Accounts* accounts) {
  k::Json model = read_json_file(file, error);
  if (!model) return nullptr;
  auto root = load_model(model.get(), error, accounts);
  if (!root) error = file + ": " + error;
  return root;
}

bool load_saved_values(json_t* config, Node& root, std::string& error) {
  Loader loader;
  loader.saved = true;
  if (!json_is_object(config)) loader.fail("", "the configuration must be an object");
  else loader.values(config, root, "");
  error = loader.error;
  return error.empty();
}

}  // namespace sim
