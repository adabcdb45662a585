#include "model/value_check.h"

#include <gtest/gtest.h>

#include "model/fault.h"

namespace sim {
namespace {

constexpr const char *kBool = R"({"type":"boolean","default":false})", *kInt = R"({"type":"int","default":0})",
    *kUint = R"({"type":"unsignedInt","default":0})", *kULong = R"({"type":"unsignedLong","default":0})",
    *kRange = R"({"type":"unsignedInt","minInclusive":1,"maxInclusive":165,"default":1})",
    *kReal = R"({"type":"decimal","default":0.5,"maxInclusive":10})",
    *kLen = R"({"type":"string","minLength":8,"maxLength":63,"default":"changeme"})",
    *kEnum = R"({"type":"enum","enum":["Router","Bridge"],"default":"Router"})",
    *kList = R"({"type":"list","enum":["PIN","PushButton"],"default":""})",
    *kRegex = R"({"type":"string","regex":"[a-z][a-z0-9]*","default":"a"})",
    *kIpv4 = R"({"type":"IPv4Address","default":""})", *kMac = R"({"type":"MACAddress","default":""})";

TEST(CheckValue, GivesTheCodeOfTheFirstBrokenRule) {
  const struct {
    const char* attr;
    std::string value;
    int code;
  } cases[] = {
      {kBool, "true", 0}, {kBool, "1", kInvalidType}, {kInt, "2147483647", 0}, {kInt, "2147483648", kInvalidValue},
      {kInt, "-2147483649", kInvalidValue}, {kInt, R"("5")", kInvalidType}, {kUint, "4294967296", kInvalidValue},
      {kUint, "-1", kInvalidValue}, {kRange, "0", kInvalidValue}, {kRange, "165", 0}, {kRange, "166", kInvalidValue},
      {kULong, "9223372036854775807", 0}, {kReal, "10.5", kInvalidValue}, {kReal, "true", kInvalidType},
      // Lengths count characters, not bytes.
      {kLen, R"("ÄÖÜäöüß1")", 0}, {kLen, R"("ÄÖÜäöüß")", kInvalidValue}, {kLen, R"("abc\u0000defgh")", kInvalidValue},
      {kLen, '"' + std::string(64, 'x') + '"', kInvalidValue}, {kEnum, R"("bridge")", kInvalidValue},
      {kList, R"("")", 0}, {kList, R"("PIN,PushButton")", 0}, {kList, R"("PIN,Label")", kInvalidValue},
      {kRegex, R"("abc-")", kInvalidValue}, {kIpv4, R"("")", 0}, {kIpv4, R"("192.168.1.256")", kInvalidValue},
      {kMac, R"("00:a0:c6:12:34:01")", 0}, {kMac, R"("00-a0-c6-12-34-01")", kInvalidValue},
  };
  for (const auto& c : cases) {
    k::Json attr = k::json_parse(c.attr);
    k::Json value = k::json_parse(c.value, JSON_DECODE_ANY | JSON_ALLOW_NUL);
    k::Json stored;
    EXPECT_EQ(check_value(attr.get(), value.get(), stored), c.code) << c.attr << " <- " << c.value;
  }
}

TEST(CheckValue, StoresAnIntegerForARealParameterAsReal) {
  k::Json attr = k::json_parse(kReal), value = k::json_parse("3"), stored;
  EXPECT_TRUE(check_value(attr.get(), value.get(), stored) == 0 && json_is_real(stored.get()));
}

TEST(ValueFromText, ConvertsByTheParameterKind) {
  const struct {
    const char* attr;
    const char* text;
    const char* expected;  // JSON, or "none" when the text does not convert
  } cases[] = {
      {kInt, "-7", "-7"}, {kInt, "0x10", "16"}, {kInt, "0b101", "5"}, {kInt, "017", "15"}, {kInt, "", "none"},
      {kInt, " 4", "none"}, {kInt, "4x", "none"}, {kInt, "99999999999999999999", "none"},
      {kBool, "0", "false"}, {kBool, "yes", "none"}, {kEnum, "Router", "\"Router\""},
      // Reals as strtod reads the whole text, without blanks; only what JSON can carry.
      {kReal, "-2.5e1", "-25.0"}, {kReal, "2 ", "none"}, {kReal, "nan", "none"}, {kReal, "1e400", "none"},
  };
  for (const auto& c : cases) {
    k::Json attr = k::json_parse(c.attr);
    k::Json v = value_from_text(attr.get(), c.text);
    EXPECT_EQ(v ? k::json_dump(v.get(), JSON_ENCODE_ANY) : "none", c.expected) << c.text;
  }
}

TEST(VersionText, ThreeNumbersAndAnOptionalSuffix) {
  const struct {
    const char* text;
    bool ok;
  } cases[] = {
      {"4.2.1-build2031", true}, {"1.2.3-a.b_c-d", true}, {"123456789.0.1", true}, {"1234567890.0.1", false},
      {"1.2", false}, {"1.2.3.4", false}, {"1.2.3-", false}, {"1.2.3-a b", false}, {"1..3", false},
  };
  for (const auto& c : cases) EXPECT_EQ(is_version_text(c.text), c.ok) << c.text;
}

}  // namespace
}  // namespace sim
