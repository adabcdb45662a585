#include "model/model_load.h"

#include <gtest/gtest.h>

#include "model/fault.h"
#include "model/value_check.h"

namespace sim {
namespace {

#define TABLE(extra) \
  R"({"T": {"#attr": {"type": "object", "multi": true}, "#template": {"P": {"#attr": {"type": "int", "access": "readWrite", "default": 0}}})" extra "}}"
#define ORDERED(extra) \
  R"({"T": {"#attr": {"type": "object", "multi": true, "ordered": true}, "#template": {}, "1": {}, "2": {})" extra "}}"

TEST(LoadModel, ErrorsNameThePathAndTheReason) {
  const std::pair<const char*, const char*> cases[] = {  // a model and a part of its error
      {R"({"A": {"#attr": {"type": "string"}}})", "A: a parameter needs a \"default\""},
      {R"({"A": {"#attr": {"type": "object", "multi": true}}})", "A: a table needs \"#template\""},
      {R"({"A": {"#bogus": 1}})", "A: unexpected key #bogus"},
      {R"({"A": 1})", "A: a node must be a JSON object"},
      {TABLE(R"(, "1": 5)"), "T.1: an instance must be an object"},
      {R"({"M": {"#attr": {"type": "method"}, "#output": {"O": {}}}})", "M.O: an output must be a parameter"},
      {R"({"A.B": {}})", "bad element name"},
      {TABLE(R"(, "01": {})"), "T: \"01\" is not an instance number"},
      {TABLE(R"(, "1": {"P": "one"})"), "T.1.P: bad value"},
      {TABLE(R"(, "1": {"Q": 1})"), "T.1.Q: not in the template"},
      {R"({"T": {"#attr": {"type": "object", "multi": true}, "#template": {"M": {"#attr": {"type": "method"}}}, "1": {"M": 1}}})",
       "T.1.M: a method takes no values"},
      {TABLE(R"(, "#order": [1])"), "not ordered"},
      {ORDERED(R"(, "#order": [1, 1])"), "must name every instance once"},
      {R"({"A": {"#attr": {"type": "string", "regex": "[", "default": ""}}})", "regex does not compile"},
      {R"({"T": {"#attr": {"type": "object", "multi": true}, "#template": {"U": {"#attr": {"type": "object", "multi": true}, "#template": {}, "1": {}}}}})",
       "holds no instances"},
      {R"({"T": {"#attr": {"multi": true}, "#template": {}}})", "T: a table needs \"type\": \"object\""},
      {R"({"T": {"#attr": {"type": "object", "multi": true}, "#template": {"U": {"#attr": {"type": "string", "unique": true, "default": ""}}}, "1": {"U": "x"}, "2": {"U": ""}, "3": {"U": "x"}}})",
       "T.3.U: bad value: instance 1 holds it already"},
      // Behaviours: a known handler of the node's kind, with the target it needs.
      {R"({"A": {"#attr": {"type": "int", "default": 0}, "#handler": "uptme"}})", "A: unknown handler \"uptme\""},
      {R"({"A": {"#attr": {"type": "string", "default": ""}, "#handler": "ping"}})", "A: \"ping\" is a handler of methods, not of parameters"},
      {R"({"A": {"#attr": {"type": "int", "default": 0}, "#handler": "count"}})", "A: the \"count\" handler needs a \"#target\""},
      {R"({"A": {"#attr": {"type": "int", "default": 0}, "#handler": "count", "#target": "B"}, "B": {"#attr": {"type": "int", "default": 0}}})",
       "A: \"#target\" \"B\" names no table"},
  };
  for (const auto& [model, expected] : cases) {
    std::string error;
    EXPECT_TRUE(!load_model(k::json_parse(model).get(), error) && error.find(expected) != std::string::npos) << model << ": " << error;
  }
}

// Values a parameter takes.
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
  // Rows: text, ok.
  const std::pair<const char*, bool> cases[] = {
      {"1.2.3-a.b_c-d", true}, {"123456789.0.1", true}, {"1234567890.0.1", false}, {"1.2", false},
      {"1.2.3.4", false}, {"1.2.3-", false}, {"1.2.3-a b", false},
  };
  for (const auto& [text, ok] : cases) EXPECT_EQ(is_version_text(text), ok) << text;
}

}  // namespace
}  // namespace sim
