#include "value_check.h"

#include <gtest/gtest.h>

#include "fault.h"

namespace sim {
namespace {

struct CheckCase {
  const char* attr;
  const char* value;
  int code;
};

class CheckValue : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckValue, GivesTheExpectedCode) {
  const CheckCase& c = GetParam();
  k::Json attr = k::json_parse(c.attr);
  k::Json value = k::json_parse(c.value, JSON_DECODE_ANY | JSON_ALLOW_NUL);
  ASSERT_TRUE(attr && value) << c.attr << " " << c.value;
  k::Json stored;
  EXPECT_EQ(check_value(attr.get(), value.get(), stored), c.code) << c.attr << " <- " << c.value;
}

constexpr const char* kBool = R"({"type":"boolean","default":false})";
constexpr const char* kInt = R"({"type":"int","default":0})";
constexpr const char* kUint = R"({"type":"unsignedInt","default":0})";
constexpr const char* kRange = R"({"type":"unsignedInt","minInclusive":1,"maxInclusive":165,"default":1})";
constexpr const char* kULong = R"({"type":"unsignedLong","default":0})";
constexpr const char* kReal = R"({"type":"decimal","default":0.5,"maxInclusive":10})";
constexpr const char* kLen = R"({"type":"string","minLength":8,"maxLength":63,"default":"changeme"})";
constexpr const char* kEnum = R"({"type":"enum","enum":["Router","Bridge"],"default":"Router"})";
constexpr const char* kList = R"({"type":"list","enum":["PIN","PushButton"],"default":""})";
constexpr const char* kRegex = R"({"type":"string","regex":"[a-z][a-z0-9]*","default":"a"})";
constexpr const char* kIpv4 = R"({"type":"IPv4Address","default":""})";
constexpr const char* kMac = R"({"type":"MACAddress","default":""})";

INSTANTIATE_TEST_SUITE_P(
    Types, CheckValue,
    ::testing::Values(
        CheckCase{kBool, "true", 0}, CheckCase{kBool, "1", kInvalidType},
        CheckCase{kBool, R"("true")", kInvalidType},
        CheckCase{kInt, "-2147483648", 0}, CheckCase{kInt, "2147483647", 0},
        CheckCase{kInt, "2147483648", kInvalidValue}, CheckCase{kInt, "-2147483649", kInvalidValue},
        CheckCase{kInt, "1.0", kInvalidType}, CheckCase{kInt, R"("5")", kInvalidType},
        CheckCase{kUint, "4294967295", 0}, CheckCase{kUint, "4294967296", kInvalidValue},
        CheckCase{kUint, "-1", kInvalidValue},
        CheckCase{kRange, "1", 0}, CheckCase{kRange, "165", 0}, CheckCase{kRange, "0", kInvalidValue},
        CheckCase{kRange, "166", kInvalidValue},
        CheckCase{kULong, "9223372036854775807", 0}, CheckCase{kULong, "-5", kInvalidValue},
        CheckCase{kReal, "3", 0}, CheckCase{kReal, "2.5", 0}, CheckCase{kReal, "10.5", kInvalidValue},
        CheckCase{kReal, "true", kInvalidType},
        CheckCase{kLen, R"("12345678")", 0}, CheckCase{kLen, R"("1234567")", kInvalidValue},
        // Lengths count characters, not bytes.
        CheckCase{kLen, R"("ÄÖÜäöüß1")", 0}, CheckCase{kLen, R"("ÄÖÜäöüß")", kInvalidValue},
        CheckCase{kLen, "\"" "123456789012345678901234567890123456789012345678901234567890123" "\"", 0},
        CheckCase{kLen, "\"" "1234567890123456789012345678901234567890123456789012345678901234" "\"", kInvalidValue},
        CheckCase{kLen, R"("abc\u0000defgh")", kInvalidValue},
        CheckCase{kEnum, R"("Bridge")", 0}, CheckCase{kEnum, R"("bridge")", kInvalidValue},
        CheckCase{kList, R"("")", 0}, CheckCase{kList, R"("PIN,PushButton")", 0},
        CheckCase{kList, R"("PIN,Label")", kInvalidValue},
        CheckCase{kRegex, R"("abc1")", 0}, CheckCase{kRegex, R"("1abc")", kInvalidValue},
        CheckCase{kRegex, R"("abc-")", kInvalidValue},
        CheckCase{kIpv4, R"("")", 0}, CheckCase{kIpv4, R"("192.168.1.1")", 0},
        CheckCase{kIpv4, R"("192.168.1.256")", kInvalidValue}, CheckCase{kIpv4, R"("::1")", kInvalidValue},
        CheckCase{kMac, R"("00:a0:c6:12:34:01")", 0}, CheckCase{kMac, R"("00-a0-c6-12-34-01")", kInvalidValue}));

TEST(CheckValue, StoresAnIntegerForARealParameterAsReal) {
  k::Json attr = k::json_parse(kReal);
  k::Json value = k::json_parse("3");
  k::Json stored;
  ASSERT_EQ(check_value(attr.get(), value.get(), stored), 0);
  EXPECT_TRUE(json_is_real(stored.get()));
}

struct TextCase {
  const char* attr;
  const char* text;
  const char* expected;  // JSON, or nullptr when the text does not convert
};

class ValueFromText : public ::testing::TestWithParam<TextCase> {};

TEST_P(ValueFromText, ConvertsByTheParameterKind) {
  const TextCase& c = GetParam();
  k::Json attr = k::json_parse(c.attr);
  k::Json v = value_from_text(attr.get(), c.text);
  if (!c.expected) {
    EXPECT_FALSE(v) << c.text;
    return;
  }
  ASSERT_TRUE(v) << c.text;
  k::Json expected = k::json_parse(c.expected);
  EXPECT_TRUE(json_equal(v.get(), expected.get())) << c.text << " -> " << k::json_dump(v.get(), JSON_ENCODE_ANY);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ValueFromText,
    ::testing::Values(TextCase{kInt, "42", "42"}, TextCase{kInt, "-7", "-7"},
                      TextCase{kInt, "0x10", "16"}, TextCase{kInt, "0b101", "5"},
                      TextCase{kInt, "017", "15"}, TextCase{kInt, "", nullptr},
                      TextCase{kInt, " 4", nullptr}, TextCase{kInt, "4x", nullptr},
                      TextCase{kInt, "--4", nullptr}, TextCase{kInt, "99999999999999999999", nullptr},
                      TextCase{kBool, "true", "true"}, TextCase{kBool, "0", "false"},
                      TextCase{kBool, "yes", nullptr}, TextCase{kReal, "1.5", "1.5"},
                      TextCase{kReal, "inf", nullptr}, TextCase{kEnum, "Router", "\"Router\""}));

}  // namespace
}  // namespace sim
