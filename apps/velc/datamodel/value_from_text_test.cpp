// Typed value texts converted by the JSON type of a parameter's default.
#include <gtest/gtest.h>

#include "datamodel/value_from_text.h"

TEST(ValueFromText, ConvertsByTheDefaultsType) {
  const std::tuple<json_type, const char*, const char*> cases[] = {  // expected: null = rejected
      {JSON_STRING, "", "\"\""}, {JSON_STRING, "bad\xff", nullptr},
      // Integers: signed 32-bit first, then unsigned 32-bit; the base from the prefix.
      {JSON_INTEGER, "0x10", "16"}, {JSON_INTEGER, "-2147483648", "-2147483648"},
      {JSON_INTEGER, "4294967295", "4294967295"}, {JSON_INTEGER, "4294967296", nullptr},
      {JSON_REAL, "-1e3", "-1000.0"}, {JSON_REAL, "2.5x", nullptr}, {JSON_REAL, "nan", nullptr},
      // Booleans: "true"/"false" in any case, whichever the default.
      {JSON_FALSE, "TRUE", "true"}, {JSON_TRUE, "False", "false"}, {JSON_TRUE, "1", nullptr},
      {JSON_TRUE, "falsey", nullptr}, {JSON_OBJECT, "{}", nullptr},
  };
  for (const auto& [type, text, expected] : cases) {
    k::Json value = value_from_text(text, type);
    EXPECT_EQ(value ? k::json_dump(value.get(), JSON_ENCODE_ANY | JSON_COMPACT) : "rejected",
              expected ? expected : "rejected") << text;
  }
}

// Outside the shell a value may still carry the quotes the shell would have taken off; quotes
// inside, or an apostrophe alone, are the value's own; a double quote that opens no whole JSON
// string is refused, never sent.
TEST(RequestValueText, TakesOffTheQuotesAShellWould) {
  const std::pair<const char*, const char*> cases[] = {  // expected: null = refused
      {R"("a b")", "a b"}, {"'a b'", "a b"}, {R"("x\u00e9\"")", "x\u00e9\""}, {R"("")", ""}, {"", ""},
      {R"(a"b")", R"(a"b")"}, {"'", "'"}, {R"("10.0.0.1)", nullptr}, {R"("a" "b")", nullptr},
  };
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(request_value_text(text).value_or("refused"), expected ? expected : "refused") << text;
}
