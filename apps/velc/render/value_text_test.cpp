#include "render/value_text.h"

#include <gtest/gtest.h>

#include "platform/json.h"

namespace {

struct ValueCase {
  const char* json;  // the value, as JSON text
  int base;
  const char* text;  // expected rendering
};

const ValueCase kValueCases[] = {
    // Strings: single quotes, bytes as they are.
    {R"("abc")", 0, "'abc'"},
    {R"("")", 0, "''"},
    {R"("it's")", 0, "'it's'"},
    {R"("a\"b\\c\nd")", 16, "'a\"b\\c\nd'"},
    {R"("10")", 16, "'10'"},  // a string of digits is not a number
    // 255 in every base.
    {"255", 8, "0377"},
    {"255", 16, "0xff"},
    {"255", 2, "0b11111111"},
    {"255", 10, "255"},
    {"255", 0, "255"},
    {"255", 7, "255"},
    {"10", 2, "0b1010"},
    // Zero.
    {"0", 2, "0b0"},
    {"0", 8, "00"},
    {"0", 16, "0x0"},
    // Base 2 keeps only the low 32 bits.
    {"4294967296", 2, "0b0"},
    {"4294967301", 2, "0b101"},
    {"4294967295", 2, "0b11111111111111111111111111111111"},
    // Negatives: octal and hexadecimal show the 64-bit pattern; binary the sign and magnitude.
    {"-1", 8, "01777777777777777777777"},
    {"-1", 16, "0xffffffffffffffff"},
    {"-1", 2, "-0b1"},
    {"-10", 2, "-0b1010"},
    {"-10", 10, "-10"},
    {"-9223372036854775808", 2, "-0b0"},
    {"9223372036854775807", 16, "0x7fffffffffffffff"},
    // Not integers: the base does not matter.
    {"true", 16, "true"},
    {"false", 2, "false"},
    {"null", 8, "null"},
    {"1.5", 16, "1.5"},
    // Containers: objects indented by four, arrays on one line.
    {R"({"a":1,"b":[1,2]})", 0, "{\n    \"a\": 1,\n    \"b\": [\n        1,\n        2\n    ]\n}"},
    {"{}", 0, "{}"},
    {R"([1,"x",true])", 16, "[1, \"x\", true]"},
    {"[]", 0, "[]"},
};

TEST(JsonDumpValue, RendersEveryKindAndBase) {
  for (const ValueCase& c : kValueCases) {
    k::Json v = k::json_parse(c.json);
    ASSERT_TRUE(v) << c.json;
    EXPECT_EQ(json_dump_value(v.get(), c.base), c.text) << c.json << " base " << c.base;
  }
}

TEST(JsonDumpValue, KeepsBytesAfterAnEmbeddedZero) {
  k::Json v = k::Json::take(json_stringn("a\0b", 3));
  EXPECT_EQ(json_dump_value(v.get(), 0), std::string("'a\0b'", 5));
}

TEST(JsonDumpValue, AbsentValueGivesEmptyText) { EXPECT_EQ(json_dump_value(nullptr, 16), ""); }

}  // namespace
