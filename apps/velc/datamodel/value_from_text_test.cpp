#include "datamodel/value_from_text.h"

#include <gtest/gtest.h>

namespace {

struct ConversionCase {
  json_type type;
  const char* text;
  const char* expected;  // compact JSON of the value; null: rejected
};

class ValueFromTextTest : public testing::TestWithParam<ConversionCase> {};

TEST_P(ValueFromTextTest, ConvertsByTheDefaultsType) {
  const ConversionCase& c = GetParam();
  k::Json value = value_from_text(c.text, c.type);
  if (!c.expected) {
    EXPECT_FALSE(value) << k::json_dump(value.get(), JSON_ENCODE_ANY);
  } else {
    ASSERT_TRUE(value);
    EXPECT_EQ(k::json_dump(value.get(), JSON_ENCODE_ANY | JSON_COMPACT), c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ValueFromTextTest,
    testing::Values(
        // Strings: any UTF-8 text, also empty or holding "=".
        ConversionCase{JSON_STRING, "", "\"\""},
        ConversionCase{JSON_STRING, "a=b", "\"a=b\""},
        ConversionCase{JSON_STRING, "caf\xc3\xa9", "\"caf\xc3\xa9\""},
        ConversionCase{JSON_STRING, "bad\xff", nullptr},
        // Integers: signed 32-bit first, then unsigned 32-bit; base from the prefix.
        ConversionCase{JSON_INTEGER, "0x10", "16"},
        ConversionCase{JSON_INTEGER, "010", "8"},
        ConversionCase{JSON_INTEGER, "-5", "-5"},
        ConversionCase{JSON_INTEGER, "-2147483648", "-2147483648"},
        ConversionCase{JSON_INTEGER, "2147483648", "2147483648"},
        ConversionCase{JSON_INTEGER, "4294967295", "4294967295"},
        ConversionCase{JSON_INTEGER, "4294967296", nullptr},
        ConversionCase{JSON_INTEGER, "-2147483649", nullptr},
        ConversionCase{JSON_INTEGER, "12abc", nullptr},
        ConversionCase{JSON_INTEGER, "", nullptr},
        ConversionCase{JSON_INTEGER, "1.5", nullptr},
        // Reals.
        ConversionCase{JSON_REAL, "2.5", "2.5"},
        ConversionCase{JSON_REAL, "-1e3", "-1000.0"},
        ConversionCase{JSON_REAL, "7", "7.0"},
        ConversionCase{JSON_REAL, "2.5x", nullptr},
        ConversionCase{JSON_REAL, "", nullptr},
        ConversionCase{JSON_REAL, "nan", nullptr},
        // Booleans: "true"/"false" in any case, nothing else.
        ConversionCase{JSON_TRUE, "TRUE", "true"},
        ConversionCase{JSON_FALSE, "true", "true"},
        ConversionCase{JSON_TRUE, "False", "false"},
        ConversionCase{JSON_TRUE, "1", nullptr},
        ConversionCase{JSON_TRUE, "truex", nullptr},
        ConversionCase{JSON_TRUE, "falsey", nullptr},
        ConversionCase{JSON_TRUE, "", nullptr},
        // Other types take nothing.
        ConversionCase{JSON_OBJECT, "{}", nullptr},
        ConversionCase{JSON_ARRAY, "[]", nullptr},
        ConversionCase{JSON_NULL, "null", nullptr}));

}  // namespace
