// The selector language of the Select method: a data-model path whose instance numbers may be
// replaced by "*" (every instance) or "[COND & COND ...]" (the instances for which every
// condition holds, a condition being "Param=Value" or "Param!=Value").
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// One condition of a "[...]" element.
struct SelectorCondition {
  std::string param;  // a parameter's path relative to the instance: "Enable", "Stats.Errors"
  bool equal = true;  // "=" (true) or "!="
  std::string value;  // compared with the text form of the parameter's value
};

// One element of a selector.
struct SelectorElement {
  enum class Kind { kName, kEvery, kWhere };
  Kind kind = Kind::kName;
  std::string name;                           // kName: an element name or instance number
  std::vector<SelectorCondition> conditions;  // kWhere: all of them must hold
  size_t end = 0;  // where the element ends in Selector::text (messages name the path so far)
};

// A parsed selector.
struct Selector {
  std::string text;                       // as given, without blanks around it
  std::vector<SelectorElement> elements;  // none for "." (the root)
  bool object = false;                    // ends with a dot: selects objects
};

// Parses a selector. False with `error` saying what is wrong and where, as
// `SELECTOR: "[" without "]" at character 14` (characters counted from 1 in the text given).
bool parse_selector(std::string_view text, Selector& out, std::string& error);

}  // namespace sim
