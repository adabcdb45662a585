// The large-reply reading must print exactly what Jansson prints, and refuse whatever it cannot.
#include "platform/large_reply.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "platform/jrpc_message.h"
#include "testing/test_stream.h"

namespace {

std::string line_with(const std::string& result) {
  return R"({"jsonrpc":"2.0","id":7,"result":)" + result + "}";
}

// What raw mode prints of a reply line through Jansson, and through the large-reply path.
std::string through_jansson(const std::string& line) {
  k::Json j = k::json_parse(line, 0);
  auto m = j ? k::msg_parse(j.get()) : std::nullopt;
  return m ? k::json_dump(m->to_json().get(), JSON_INDENT(4)) : "refused";
}
std::string through_large(const std::string& line) {
  k::LargeReply reply;
  if (!reply.load(line, 7)) return "refused";
  TestStream out;
  reply.write_message(out.file);
  return out.text();
}

// Random values: texts with every kind of escape, integers and reals of every size, nesting.
std::string random_value(std::mt19937& rng, int depth) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  static const char* atoms[] = {"null", "true", "false", "0", "-0", "-1", "1e300", "-2.5e-7",
                                "1E2", "100.0", "5e-324", "-0.0", "123456789012345678.0",
                                "9223372036854775807", "-9223372036854775808", "1.7976931348623157e308"};
  static const char* pieces[] = {"a", " ", "\\\"", "\\\\", "\\n", "\\u0002", "\\u007f", "\\/",
                                 "\\b\\f\\r\\t", "\\u00e9", "\xc3\xa9", "\xe2\x9c\x93", "\\ud83d\\ude00"};
  std::string v;
  bool object = pick(2);
  switch (pick(depth > 3 ? 3 : 4)) {
    case 0: return atoms[pick(16)];
    case 1: {  // an integer, or a real of any size
      char real[48];
      std::snprintf(real, sizeof real, "%.17ge%d", std::uniform_real_distribution<double>(-1e6, 1e6)(rng), pick(40) - 20);
      return pick(2) ? real : std::to_string(static_cast<int64_t>(rng()) * (pick(2) ? 1 : -1) * pick(1000000));
    }
    case 2:
      for (int i = pick(12); i > 0; --i) v += pieces[pick(13)];
      return "\"" + v + "\"";
    default:
      for (int i = pick(4); i > 0; --i)
        v += (object ? "\"k" + std::to_string(i) + "\":" : "") + random_value(rng, depth + 1) + (i > 1 ? "," : "");
      return object ? "{" + v + "}" : "[" + v + "]";
  }
}

TEST(LargeReply, PrintsExactlyAsJansson) {
  std::mt19937 rng(20261206);
  for (int i = 0; i < 3000; ++i) {
    std::string line = line_with(random_value(rng, 0));
    ASSERT_EQ(through_large(line), through_jansson(line)) << line;
  }
}

// Fixed cases: white space wherever JSON allows it, names with escapes, every escape, characters
// of every UTF-8 length, numbers at their limits, deep nesting.
TEST(LargeReply, PrintsFixedCasesExactlyAsJansson) {
  const std::string lines[] = {
      " {\t\"jsonrpc\" : \"2.0\" ,\r\n\"result\" :[ 1 , { } ] , \"id\":7 }\r",
      line_with(R"({"\u0061\"b":{},"a\\":[{}],"":"","\/":"\u00e9\u20ac\ud83d\ude00)" "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\"}"),
      line_with(R"([-0,0,-9223372036854775808,1E2,1e-2,-0.0,4.9e-324,2.5E+3,"\b\f\n\r\t\u001f\u007f"])"),
      line_with(std::string(400, '[') + std::string(400, ']')),
  };
  for (const std::string& line : lines) {
    ASSERT_NE(through_jansson(line), "refused") << line.substr(0, 80);
    EXPECT_EQ(through_large(line), through_jansson(line)) << line.substr(0, 80);
  }
}

// Whatever Jansson refuses or reads otherwise, and whatever is not the awaited result, is refused.
TEST(LargeReply, RefusesWhatItCannotPrintAsJansson) {
  const std::string lines[] = {
      line_with(R"({"a":1,"a":2})"),           // Jansson keeps the last
      line_with(R"({"a":1,"b":2,"c":3,"d":4,"e":5,"f":6,"g":7,"h":8,"i":9,"b":0})"),
      line_with(R"({"a":1,"\u0061":2})"),      // the same name, escaped
      line_with(R"("nul\u0000")"),             // Jansson refuses it
      line_with("9223372036854775808"), line_with("-9223372036854775809"),  // beyond 64 bits
      line_with("1e400"), line_with("1e-400"),  // overflow (refused), underflow (read as 0.0)
      line_with("01"), line_with("1."), line_with(".5"), line_with("-"), line_with("+1"),
      line_with("1e"), line_with("0x1"), line_with("tru"), line_with("nulll"),
      line_with(R"("\ud800")"), line_with(R"("\udc00")"), line_with(R"("\ud800\u0041")"),
      line_with(R"("\x")"), line_with(R"("\u12g4")"), line_with("\"\x01\""), line_with("\"open"),
      line_with("\"\x80\""), line_with("\"\xc0\x80\""), line_with("\"\xe0\x80\xaf\""),  // not UTF-8
      line_with("\"\xed\xa0\x80\""), line_with("\"\xf4\x90\x80\x80\""), line_with("\"\xe2\x9c\""),
      line_with("[1,]"), line_with("[,1]"), line_with(R"({"a":1,})"), line_with(R"({"a" 1})"),
      line_with("[1 2]"), line_with(std::string(1500, '[') + std::string(1500, ']')),  // too deep
      line_with("1") + " trailing", "",
      R"({"jsonrpc":"2.0","id":8,"result":1})",  // another request's reply
      R"({"jsonrpc":"2.0","id":"7","result":1})", R"({"jsonrpc":"2.0","id":7.0,"result":1})",
      R"({"jsonrpc":"1.0","id":7,"result":1})", R"({"jsonrpc":"2.0","id":7})",
      R"({"jsonrpc":"2.0","id":7,"result":1,"error":{"code":1}})",
      R"({"jsonrpc":"2.0","id":7,"result":1,"method":"X"})", R"([{"jsonrpc":"2.0","id":7,"result":1}])",
  };
  for (const std::string& line : lines) EXPECT_EQ(through_large(line), "refused") << line.substr(0, 80);
}

// The entries of a ParameterList of every shape: not objects, members in any order, members
// besides Name and Value (skipped, brackets in their texts included), a Name that is no text.
TEST(LargeReply, HandsOutTheEntriesOfEveryShape) {
  k::LargeReply reply;
  ASSERT_TRUE(reply.load(line_with(R"({"X":{"ParameterList":0},"ParameterList":[1,{"Value":{"a":"}"},)"
                                   R"("Name":"x\ty","More":[{"b":"]\""}]},{"Name":5,"Value":"\u00e9"},{}]})"),
                         7));
  std::string seen;
  reply.for_each_parameter([&](std::string_view name, const k::ReplyValue& v) {
    seen += std::string(name) + "=" + std::to_string(v.kind) + ":" + std::string(v.json) +
            std::string(v.string) + "|";
  });
  EXPECT_EQ(seen, "=0:|x\ty=7:{\"a\":\"}\"}|=1:\xc3\xa9|=0:|");
}

}  // namespace
