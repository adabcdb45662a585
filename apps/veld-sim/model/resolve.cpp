#include "model/resolve.h"

#include "model/model_load.h"

namespace sim {

namespace {

// Splits "A.B.C." into elements; false when an element is empty ("A..B", ".A").
bool split(std::string_view path, std::vector<std::string_view>& elements) {
  if (path.back() == '.') path.remove_suffix(1);
  size_t pos = 0;
  while (true) {
    size_t dot = path.find('.', pos);
    std::string_view e = path.substr(pos, dot == std::string_view::npos ? dot : dot - pos);
    if (e.empty()) return false;
    elements.push_back(e);
    if (dot == std::string_view::npos) return true;
    pos = dot + 1;
  }
}

struct Walk {
  TemplateMode mode;
  const std::vector<std::string_view>& elements;
  bool object_path;
  std::vector<Target>& out;

  // Follows elements from `i` on, below node `n` already listed as `path`. Returns false when
  // an element names nothing.
  bool from(Node& n, size_t i, std::string& path) {
    if (i == elements.size()) return finish(n, Pseudo::kNone, path);
    std::string_view e = elements[i];
    size_t mark = path.size();
    auto step = [&](Node& next, std::string_view listed) {
      path.append(listed).push_back('.');
      bool ok = from(next, i + 1, path);
      path.resize(mark);
      return ok;
    };
    switch (n.kind) {
      case NodeKind::kParameter:
        return false;
      case NodeKind::kMethod:
        if (e == "#input") return step(*n.input, e);
        if (Node* c = n.child(e)) return step(*c, e);
        return false;
      case NodeKind::kObject:
        if (Node* c = n.child(e)) return step(*c, e);
        return false;
      case NodeKind::kTable: {
        if (e == "#template") {
          if (mode == TemplateMode::kSchema) return step(*n.templ, e);
          // Instances lacking the rest of the path (a nested instance number) are skipped;
          // the path is valid when some instance or the template has it.
          bool any = false;
          for (uint32_t number : instance_numbers(n)) {
            std::string listed = std::to_string(number);
            any = step(*n.instance(number), listed) || any;
          }
          return any || schema_valid(*n.templ, i + 1);
        }
        uint32_t number;
        if (parse_instance_number(e, number)) {
          Node* inst = n.instance(number);
          return inst && step(*inst, e);
        }
        if (i + 1 == elements.size()) {
          Pseudo p = e == "max_instance"                ? Pseudo::kMaxInstance
                     : e == "order" && is_ordered(n) ? Pseudo::kOrder
                                                        : Pseudo::kNone;
          if (p != Pseudo::kNone) return finish(n, p, path + std::string(e));
        }
        return false;
      }
    }
    return false;
  }

  // The rest of the path exists in the template: checked without listing anything.
  bool schema_valid(Node& templ, size_t i) {
    std::vector<Target> ignored;
    Walk probe{TemplateMode::kSchema, elements, object_path, ignored};
    std::string scratch;
    return probe.from(templ, i, scratch);
  }

  // `path` is the listed path so far, ending in a dot after a node's element.
  bool finish(Node& n, Pseudo p, const std::string& path) {
    bool object_like = p == Pseudo::kNone && n.is_object_like();
    if (object_like != object_path) return false;
    std::string listed = path;
    if (!object_like && !listed.empty() && listed.back() == '.') listed.pop_back();
    out.push_back(Target{&n, p, std::move(listed)});
    return true;
  }
};

}  // namespace

const char* pseudo_name(Pseudo p) {
  switch (p) {
    case Pseudo::kMaxInstance: return "max_instance";
    case Pseudo::kOrder: return "order";
    default: return "";
  }
}

bool resolve(Node& root, std::string_view path, TemplateMode mode, std::vector<Target>& out,
             Fault& fault) {
  auto missing = [&](const char* why) {
    fault.code = kInvalidName;
    fault.detail = std::string(path) + ": " + why;
    return false;
  };
  if (path == ".") {
    out.push_back(Target{&root, Pseudo::kNone, "."});
    return true;
  }
  if (path.empty() || path.front() == '.') return missing("no such node");
  std::vector<std::string_view> elements;
  if (!split(path, elements)) return missing("no such node");
  bool object_path = path.back() == '.';
  size_t before = out.size();
  Walk walk{mode, elements, object_path, out};
  std::string listed;
  if (walk.from(root, 0, listed)) return true;
  out.resize(before);
  // Tell a wrong trailing dot apart from a missing node.
  std::vector<Target> other;
  std::string other_path(path);
  if (object_path) other_path.pop_back(); else other_path.push_back('.');
  std::vector<std::string_view> same;
  split(other_path, same);
  Walk probe{TemplateMode::kSchema, same, !object_path, other};
  std::string scratch;
  if (probe.from(root, 0, scratch))
    return missing(object_path ? "not an object: a parameter's path has no trailing dot"
                               : "an object: its path ends with a dot");
  return missing("no such node");
}

}  // namespace sim
