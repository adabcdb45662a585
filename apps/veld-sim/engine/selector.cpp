#include "engine/selector.h"

namespace sim {

namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view trim(std::string_view s, size_t& offset) {
  size_t first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) {
    offset += s.size();
    return {};
  }
  offset += first;
  return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

// A condition's parameter: names joined by dots, none empty, without blanks or operators.
bool is_parameter_path(std::string_view p) {
  if (p.empty() || p.front() == '.' || p.back() == '.' || p.find("..") != std::string_view::npos)
    return false;
  return p.find_first_of(" \t!*[]&") == std::string_view::npos;
}

struct Parser {
  std::string_view given;  // the whole text, for messages
  size_t offset;           // of the trimmed text in `given`
  std::string& error;

  bool fail(const std::string& what, size_t at) {
    error = std::string(given) + ": " + what + " at character " + std::to_string(offset + at + 1);
    return false;
  }

  // The conditions between "[" and "]"; `at` is where `inner` starts in the trimmed text.
  bool conditions(std::string_view inner, size_t at, std::vector<SelectorCondition>& out) {
    while (true) {
      size_t amp = inner.find('&');
      std::string_view part = inner.substr(0, amp);
      size_t part_at = at;
      std::string_view cond = trim(part, part_at);
      if (cond.empty()) return fail("an empty condition", part_at);
      size_t eq = cond.find('=');
      if (eq == std::string_view::npos) return fail("a condition without \"=\" or \"!=\"", part_at);
      SelectorCondition c;
      c.equal = !(eq > 0 && cond[eq - 1] == '!');
      size_t name_at = part_at;
      std::string_view name = trim(cond.substr(0, c.equal ? eq : eq - 1), name_at);
      if (name.empty()) return fail("a condition without a parameter", part_at);
      if (!is_parameter_path(name)) return fail("a bad parameter name", name_at);
      size_t value_at = part_at + eq + 1;
      c.param = name;
      c.value = trim(cond.substr(eq + 1), value_at);
      out.push_back(std::move(c));
      if (amp == std::string_view::npos) return true;
      inner.remove_prefix(amp + 1);
      at += amp + 1;
    }
  }

  bool parse(std::string_view s, Selector& out) {
    if (s.empty()) {
      error = "the selector is empty";
      return false;
    }
    out.text = s;
    if (s == ".") {
      out.object = true;
      return true;
    }
    size_t pos = 0;
    while (true) {
      SelectorElement e;
      if (s[pos] == '[') {
        size_t close = s.find(']', pos);
        if (close == std::string_view::npos) return fail("\"[\" without \"]\"", pos);
        e.kind = SelectorElement::Kind::kWhere;
        if (!conditions(s.substr(pos + 1, close - pos - 1), pos + 1, e.conditions)) return false;
        pos = close + 1;
        if (pos < s.size() && s[pos] != '.') return fail("\"]\" not followed by \".\"", pos);
      } else {
        size_t dot = std::min(s.find('.', pos), s.size());
        std::string_view name = s.substr(pos, dot - pos);
        if (name.empty()) return fail("an empty element", pos);
        size_t bad = name.find_first_of("[]");
        if (bad != std::string_view::npos)
          return fail(std::string("\"") + name[bad] + "\" inside an element", pos + bad);
        size_t star = name.find('*');
        if (star != std::string_view::npos && name.size() > 1)
          return fail("\"*\" not alone in its element", pos + star);
        if (name == "*") e.kind = SelectorElement::Kind::kEvery;
        else e.name = name;
        pos = dot;
      }
      e.end = pos;
      out.elements.push_back(std::move(e));
      if (pos == s.size()) return true;  // ends with a parameter
      if (++pos == s.size()) {          // past the dot: the end of an object's path
        out.object = true;
        return true;
      }
    }
  }
};

}  // namespace

bool parse_selector(std::string_view text, Selector& out, std::string& error) {
  out = Selector{};
  size_t offset = 0;
  std::string_view s = trim(text, offset);
  Parser parser{text, offset, error};
  return parser.parse(s, out);
}

}  // namespace sim
