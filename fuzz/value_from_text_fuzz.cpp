// Fuzzes the conversion of a typed value text into a parameter's JSON value, for every JSON type.
//
// Input: the value text (any bytes). Properties checked:
// - string: a value exactly when the text is UTF-8, holding the same bytes;
// - integer: an integer between -2^31 and 2^32-1, and its decimal text converts to it again;
//   a plain decimal text in that range is always taken;
// - real: a finite real, and its shortest exact text converts to it again;
// - true and false: the same for both, a value exactly for "true"/"false" in any case;
// - object, array, null: never a value.
#include <cinttypes>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "check.h"
#include "datamodel/value_from_text.h"

namespace {

std::string lowered(std::string_view text) {
  std::string out;
  for (char c : text) out.push_back(c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c);
  return out;
}

// A decimal text ("-"? digits, no leading zero), with its value when it fits 64 bits.
bool plain_decimal(std::string_view text, long long& value) {
  std::string_view digits = text.substr(!text.empty() && text[0] == '-');
  if (digits.empty() || digits.size() > 12 || (digits[0] == '0' && digits.size() > 1)) return false;
  value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (text[0] == '-') value = -value;
  return true;
}

void check_integer(std::string_view text) {
  k::Json v = value_from_text(text, JSON_INTEGER);
  long long decimal;
  if (plain_decimal(text, decimal) && decimal >= INT32_MIN && decimal <= UINT32_MAX)
    FUZZ_CHECK(v && json_integer_value(v.get()) == decimal, "\"%.*s\" was not read as %lld",
               int(text.size()), text.data(), decimal);
  if (!v) return;
  FUZZ_CHECK(json_is_integer(v.get()), "an integer text gave another type");
  json_int_t n = json_integer_value(v.get());
  FUZZ_CHECK(n >= INT32_MIN && n <= UINT32_MAX, "%" JSON_INTEGER_FORMAT " is beyond 32 bits", n);
  std::string again = std::to_string(n);
  k::Json w = value_from_text(again, JSON_INTEGER);
  FUZZ_CHECK(w && json_integer_value(w.get()) == n, "%s does not read back", again.c_str());
}

void check_real(std::string_view text) {
  k::Json v = value_from_text(text, JSON_REAL);
  if (!v) return;
  FUZZ_CHECK(json_is_real(v.get()), "a real text gave another type");
  double d = json_real_value(v.get());
  FUZZ_CHECK(std::isfinite(d), "a real that is not finite");
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", d);
  k::Json w = value_from_text(buf, JSON_REAL);
  FUZZ_CHECK(w && json_real_value(w.get()) == d, "%s does not read back", buf);
}

void check_boolean(std::string_view text) {
  k::Json t = value_from_text(text, JSON_TRUE);
  k::Json f = value_from_text(text, JSON_FALSE);
  FUZZ_CHECK(bool(t) == bool(f) && (!t || json_equal(t.get(), f.get())),
             "the default's truth changed the conversion");
  std::string l = lowered(text);
  bool expected = l == "true" || l == "false";
  FUZZ_CHECK(bool(t) == expected, "\"%s\" %s", l.c_str(), t ? "taken" : "refused");
  if (t) FUZZ_CHECK(json_is_true(t.get()) == (l == "true"), "wrong truth for \"%s\"", l.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);

  k::Json s = value_from_text(text, JSON_STRING);
  FUZZ_CHECK(bool(s) == bool(k::json_str(text)), "a string value %s for %s bytes",
             s ? "made" : "refused", k::json_str(text) ? "UTF-8" : "non-UTF-8");
  if (s)
    FUZZ_CHECK(std::string_view(json_string_value(s.get()), json_string_length(s.get())) == text,
               "the string's bytes changed");

  check_integer(text);
  check_real(text);
  check_boolean(text);
  for (json_type other : {JSON_OBJECT, JSON_ARRAY, JSON_NULL})
    FUZZ_CHECK(!value_from_text(text, other), "a value for JSON type %d", int(other));
  return 0;
}
