#include "model/rights.h"

#include <cstring>

namespace sim {

namespace {

constexpr char kLetters[] = "rwadx";  // in the order of the bits of Right

// True when the rule at `rule` covers the node at `path`: the node itself or anything inside
// it. A rule written without the trailing dot covers the object of that name all the same.
bool covers(std::string_view rule, std::string_view path) {
  if (rule == "." || rule == path) return true;
  if (!path.starts_with(rule)) return false;
  return rule.back() == '.' || path[rule.size()] == '.';
}

// "." or elements joined by dots, none empty, with or without a trailing dot; no "#" element,
// as templates and arguments take the rights of their table and method.
bool is_rule_path(std::string_view path) {
  if (path == ".") return true;
  if (path.empty() || path.front() == '.' || path.find("..") != std::string_view::npos)
    return false;
  return path.find('#') == std::string_view::npos;
}

}  // namespace

unsigned Rights::at(std::string_view path) const {
  const RightsRule* best = nullptr;
  for (const RightsRule& r : rules)
    if (covers(r.path, path) && (!best || r.path.size() > best->path.size())) best = &r;
  return best ? best->rights : 0;
}

bool Rights::given_below(std::string_view path, unsigned right) const {
  for (const RightsRule& r : rules)
    if ((r.rights & right) && r.path != path && covers(path, r.path)) return true;
  return false;
}

bool Rights::uniform_below(std::string_view path) const {
  for (const RightsRule& r : rules)
    if (r.path != path && covers(path, r.path)) return false;
  return true;
}

Rights all_rights() { return Rights{{{".", kAllRights}}}; }

bool parse_rights(json_t* rules, Rights& out, std::string& error) {
  if (!json_is_object(rules)) {
    error = "must be an object of {path: letters}";
    return false;
  }
  const char* path;
  json_t* letters;
  json_object_foreach(rules, path, letters) {
    std::string quoted = std::string("\"") + path + "\"";
    if (!is_rule_path(path)) {
      error = quoted + " is not a data-model path";
      return false;
    }
    if (!json_is_string(letters)) {
      error = quoted + " must be a text of letters from \"rwadx\"";
      return false;
    }
    unsigned bits = 0;
    for (const char* c = json_string_value(letters); *c; ++c) {
      const char* at = std::strchr(kLetters, *c);
      if (!at) {
        error = quoted + ": \"" + json_string_value(letters) +
                "\" holds a letter outside \"rwadx\"";
        return false;
      }
      bits |= 1u << (at - kLetters);
    }
    out.rules.push_back({path, bits});
  }
  return true;
}

std::string_view rights_path(std::string_view path) {
  size_t special = path.find('#');
  if (special == std::string_view::npos || special == 0) return path;
  if (path.substr(special).starts_with("#input")) return path.substr(0, special - 1);
  return path.substr(0, special);
}

}  // namespace sim
