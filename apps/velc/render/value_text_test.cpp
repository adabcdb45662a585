#include "render/value_text.h"

#include <gtest/gtest.h>

#include "platform/json.h"

namespace {

TEST(JsonDumpValue, RendersEveryKindAndBase) {
  const std::tuple<const char*, int, const char*> cases[] = {  // JSON value, base, text
      // Strings: single quotes, bytes as they are, whatever the base.
      {R"("")", 0, "''"}, {R"("it's")", 0, "'it's'"}, {R"("a\"b\\c\nd")", 16, "'a\"b\\c\nd'"},
      {R"("10")", 16, "'10'"},
      // Integers in bases 8, 16 and 2; anything else is decimal.
      {"255", 8, "0377"}, {"255", 16, "0xff"}, {"255", 2, "0b11111111"}, {"255", 7, "255"},
      {"0", 8, "00"}, {"0", 16, "0x0"}, {"0", 2, "0b0"},
      // Base 2 keeps only the low 32 bits.
      {"4294967301", 2, "0b101"}, {"4294967295", 2, "0b11111111111111111111111111111111"},
      // Negatives: octal and hexadecimal show the 64-bit pattern; binary the sign and magnitude.
      {"-1", 8, "01777777777777777777777"}, {"-1", 16, "0xffffffffffffffff"},
      {"-10", 2, "-0b1010"}, {"-10", 0, "-10"}, {"-9223372036854775808", 2, "-0b0"},
      // Other kinds ignore the base: objects indented by four, arrays on one line.
      {"true", 16, "true"}, {"null", 8, "null"}, {"1.5", 16, "1.5"},
      {R"({"a":1,"b":[1,2]})", 0,
       "{\n    \"a\": 1,\n    \"b\": [\n        1,\n        2\n    ]\n}"},
      {R"([1,"x",true])", 16, "[1, \"x\", true]"}, {"[]", 0, "[]"},
  };
  for (const auto& [json, base, text] : cases) {
    k::Json v = k::json_parse(json);
    ASSERT_TRUE(v) << json;
    EXPECT_EQ(json_dump_value(v.get(), base), text) << json << " base " << base;
    // A large reply's value renders the same.
    k::LargeReply reply;
    std::string line = std::string(R"({"jsonrpc":"2.0","id":1,"result":{"ParameterList":[)") +
                       R"({"Name":"N","Value":)" + json + "}]}}";
    ASSERT_TRUE(reply.load(line, 1)) << json;
    reply.for_each_parameter([&, base = base, text = text](std::string_view, const k::ReplyValue& rv) {
      EXPECT_EQ(reply_value_text(rv, base), text) << json << " base " << base;
    });
  }
  k::Json zero = k::Json::take(json_stringn("a\0b", 3));
  EXPECT_EQ(json_dump_value(zero.get(), 0), std::string("'a\0b'", 5));
  EXPECT_EQ(json_dump_value(nullptr, 16), "");
}

}  // namespace
