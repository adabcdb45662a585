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

TEST(LargeReply, RefusesWhatItCannotPrintAsJansson) {
  const std::string lines[] = {
      line_with(R"({"a":1,"a":2})"),           // Jansson keeps the last
      line_with(R"({"a":1,"b":2,"c":3,"d":4,"e":5,"f":6,"g":7,"h":8,"i":9,"b":0})"),
      line_with(R"("nul\u0000")"),             // Jansson refuses it
      line_with("9223372036854775808"),        // beyond 64 bits: Jansson refuses it
      line_with(std::string(1500, '[') + std::string(1500, ']')),  // nested deeper than the limit
      line_with("1") + " trailing",
      R"({"jsonrpc":"2.0","id":8,"result":1})",  // another request's reply
      R"({"jsonrpc":"2.0","id":7,"result":1,"error":{"code":1}})",
  };
  for (const std::string& line : lines) EXPECT_EQ(through_large(line), "refused") << line.substr(0, 80);
}

}  // namespace
