#include "render/value_text.h"

#include <gtest/gtest.h>

#include "platform/json.h"

namespace {

// Each value renders the same from a parsed JSON value and from a large reply's value.
TEST(JsonDumpValue, RendersEveryKindAndBase) {
  const std::tuple<const char*, int, const char*> cases[] = {  // JSON value, base, text
      {R"("a\"b\\c\nd")", 16, "'a\"b\\c\nd'"}, {R"("10")", 16, "'10'"},
      {"255", 8, "0377"}, {"255", 16, "0xff"}, {"255", 2, "0b11111111"}, {"255", 7, "255"},
      {"0", 8, "00"}, {"0", 2, "0b0"}, {"4294967301", 2, "0b101"},  // binary: the low 32 bits
      {"-1", 8, "01777777777777777777777"}, {"-1", 16, "0xffffffffffffffff"},
      {"-10", 2, "-0b1010"}, {"-9223372036854775808", 2, "-0b0"}, {"true", 16, "true"}, {"1.5", 16, "1.5"},
      {R"({"a":1,"b":[1,2]})", 0, "{\n    \"a\": 1,\n    \"b\": [\n        1,\n        2\n    ]\n}"},
      {R"([1,"x",true])", 16, "[1, \"x\", true]"},
  };
  for (const auto& [json, base, text] : cases) {
    k::Json v = k::json_parse(json);
    EXPECT_EQ(json_dump_value(v.get(), base), text) << json << " base " << base;
    k::LargeReply reply;
    ASSERT_TRUE(reply.load(std::string(R"({"jsonrpc":"2.0","id":1,"result":{"ParameterList":[)") +
                               R"({"Name":"N","Value":)" + json + "}]}}",
                           1));
    reply.for_each_parameter([&, base = base, text = text](std::string_view, const k::ReplyValue& rv) {
      EXPECT_EQ(reply_value_text(rv, base), text) << json << " base " << base;
    });
  }
  k::Json zero = k::Json::take(json_stringn("a\0b", 3));
  EXPECT_EQ(json_dump_value(zero.get(), 0), std::string("'a\0b'", 5));
  EXPECT_EQ(json_dump_value(nullptr, 16), "");
}

}  // namespace
