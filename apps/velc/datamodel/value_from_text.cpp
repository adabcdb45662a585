#include "datamodel/value_from_text.h"

#include <cctype>
#include <cstdint>
#include <string>

#include "platform/text.h"

namespace {

k::Json integer_from_text(std::string_view text) {
  int32_t signed_value;
  if (k::string_to_i32(text, 0, signed_value) == 0)
    return k::Json::take(json_integer(signed_value));
  uint32_t unsigned_value;  // keeps values above the signed range positive
  if (k::string_to_u32(text, 0, unsigned_value) == 0)
    return k::Json::take(json_integer(unsigned_value));
  return {};
}

k::Json boolean_from_text(std::string_view text) {
  if (text.size() > 5) return {};
  std::string lowered;
  for (char c : text) lowered += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lowered == "true") return k::Json::take(json_true());
  if (lowered == "false") return k::Json::take(json_false());
  return {};
}

}  // namespace

k::Json value_from_text(std::string_view text, json_type type) {
  switch (type) {
    case JSON_STRING:
      return k::json_str(text);
    case JSON_INTEGER:
      return integer_from_text(text);
    case JSON_REAL: {
      double value;
      if (k::string_to_double(text, value) < 0) return {};
      return k::Json::take(json_real(value));  // none for NaN and infinity, which JSON cannot hold
    }
    case JSON_TRUE:
    case JSON_FALSE:
      return boolean_from_text(text);
    default:
      return {};
  }
}

std::optional<std::string> request_value_text(std::string_view text) {
  if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'')
    return std::string(text.substr(1, text.size() - 2));
  if (text.empty() || text.front() != '"') return std::string(text);
  // Only a whole JSON string: a stray quote is an error, never sent as part of the value.
  k::Json parsed = k::json_parse(text);
  if (!json_is_string(parsed.get())) return std::nullopt;
  return std::string(json_string_value(parsed.get()), json_string_length(parsed.get()));
}
