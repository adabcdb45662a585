// The large-reply reading must print exactly what Jansson prints, and refuse whatever it cannot.
#include "platform/large_reply.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "platform/jrpc_message.h"
#include "testing/stdout_capture.h"

namespace {

std::string line_with(const std::string& result) {
  return R"({"jsonrpc":"2.0","id":7,"result":)" + result + "}";
}

// What raw mode prints of a reply line through Jansson.
std::string through_jansson(const std::string& line) {
  k::Json j = k::json_parse(line, 0);
  auto m = j ? k::msg_parse(j.get()) : std::nullopt;
  return m ? k::json_dump(m->to_json().get(), JSON_INDENT(4)) : "refused";
}

std::string through_large(const std::string& line) {
  k::LargeReply reply;
  if (!reply.load(line, 7)) return "refused";
  return output_of([&] { reply.write_message(stdout); });
}

TEST(LargeReply, PrintsExactlyAsJansson) {
  const char* results[] = {
      "{}", "[]", "null", "true", "0", "-0", "-1", "9223372036854775807", "-9223372036854775808",
      "0.1", "1e300", "1e20", "123456789012345678.0", "-0.0", "-2.5e-7", "1E2", "100.0", "5e-324", "1.7976931348623157e308",
      R"("")", R"("plain")", R"("quote \" back \\ slash \/ tab \t nl \n cr \r bs \b ff \f")",
      R"("ctl \u0001 \u001f del \u007f")", R"("caf\u00e9 \ud83d\ude00 é ✓")",
      R"({"a":{"b":[1,{"c":[]},{}],"d":null},"e":"x"})",
      R"({"ParameterList":[{"Name":"Device.A","Value":1},{"Name":"Device.B","Value":"x"}]})",
      R"([[[[[[1]]]]]])",
  };
  for (const char* result : results) {
    std::string line = line_with(result);
    EXPECT_EQ(through_large(line), through_jansson(line)) << result;
  }
}

// Random values: text with every kind of character, numbers of every size, nesting.
std::string random_value(std::mt19937& rng, int depth) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  switch (pick(depth > 3 ? 4 : 6)) {
    case 0: {
      std::string s = "\"";
      for (int i = pick(12); i > 0; --i) {
        static const char* pieces[] = {"a", "Z", " ", "\\\"", "\\\\", "\\n", "\\u0002",
                                        "\\u00e9", "\xc3\xa9", "\xe2\x9c\x93", "\\/", "\\ud83d\\ude00"};
        s += pieces[pick(12)];
      }
      return s + "\"";
    }
    case 1: return std::to_string(static_cast<int64_t>(rng()) * (pick(2) ? 1 : -1) * pick(1000000));
    case 2: {
      std::uniform_real_distribution<double> d(-1e6, 1e6);
      char buf[40];
      std::snprintf(buf, sizeof buf, pick(2) ? "%.17g" : "%.3e", d(rng) * std::pow(10.0, pick(40) - 20));
      std::string text = buf;
      if (text.find_first_of(".e") == std::string::npos) text += ".5";
      return text;
    }
    case 3: return pick(3) == 0 ? "null" : pick(2) ? "true" : "false";
    case 4: {
      std::string a = "[";
      for (int i = pick(4); i > 0; --i) a += random_value(rng, depth + 1) + (i > 1 ? "," : "");
      return a + "]";
    }
    default: {
      std::string o = "{";
      for (int i = pick(4); i > 0; --i)
        o += "\"k" + std::to_string(i) + "\":" + random_value(rng, depth + 1) + (i > 1 ? "," : "");
      return o + "}";
    }
  }
}

TEST(LargeReply, RandomValuesPrintExactlyAsJansson) {
  std::mt19937 rng(20261206);
  for (int i = 0; i < 3000; ++i) {
    std::string line = line_with(random_value(rng, 0));
    ASSERT_EQ(through_large(line), through_jansson(line)) << line;
  }
}

TEST(LargeReply, RefusesWhatItCannotPrintAsJansson) {
  const std::string deep = std::string(1500, '[') + std::string(1500, ']');
  const std::string lines[] = {
      line_with(R"({"a":1,"a":2})"),           // Jansson keeps the last
      line_with(R"({"a":1,"b":2,"c":3,"d":4,"e":5,"f":6,"g":7,"h":8,"i":9,"b":0})"),
      line_with(R"("nul\u0000")"),             // Jansson refuses it
      line_with("9223372036854775808"),        // beyond 64 bits: Jansson refuses it
      line_with(deep),                         // deeper than simdjson reads: Jansson decides
      line_with("1") + " trailing",
      R"({"jsonrpc":"2.0","id":8,"result":1})",  // another request's reply
      R"({"jsonrpc":"2.0","id":7,"error":{"code":1}})",
      R"({"jsonrpc":"2.0","id":7,"result":1,"error":{"code":1}})",
      R"({"jsonrpc":"2.0","id":"7","result":1})",
      R"({"jsonrpc":"1.0","id":7,"result":1})",
      R"({"jsonrpc":"2.0","id":7,"method":"X","result":1})",
  };
  for (const std::string& line : lines) {
    k::LargeReply reply;
    EXPECT_FALSE(reply.load(line, 7)) << line.substr(0, 80);
  }
}

TEST(LargeReply, ParametersInOrder) {
  k::LargeReply reply;
  ASSERT_TRUE(reply.load(line_with(R"({"ParameterList":[{"Name":"A","Value":"x"},
      {"Name":"B","Value":-3},{"Value":2.5},{"Name":7,"Value":true},{"Name":"E"},
      {"Name":"F","Value":[1,{"g":null}]}, 5]})"), 7));
  std::string seen;
  reply.for_each_parameter([&](std::string_view name, const k::ReplyValue& v) {
    seen += std::string(name) + ":" + std::to_string(v.kind) + ";";
  });
  EXPECT_EQ(seen, "A:1;B:2;:3;:4;E:0;F:7;:0;");
}

}  // namespace
