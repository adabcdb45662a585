#include "list_writer.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

// The writer must encode exactly as Jansson does, so replies read alike whichever way they
// were built.
TEST(ListWriter, EncodesValuesAsJanssonDoes) {
  const char* values[] = {R"("plain")", R"("quote \" backslash \\ slash /")",
                          R"("\b\f\n\r\t\u0001\u001f")", R"("ÄÖÜ €")", "0", "-9223372036854775808",
                          "9223372036854775807", "true", "false", "null", "1.5", "[1,[2],{}]",
                          R"({"a":{"b":[true]}})"};
  for (const char* text : values) {
    k::Json v = k::json_parse(text);
    ASSERT_TRUE(v) << text;
    std::string mine;
    append_json_value(mine, v.get());
    EXPECT_EQ(mine, k::json_dump(v.get(), JSON_COMPACT | JSON_ENCODE_ANY)) << text;
  }
}

TEST(ListWriter, BuildsAParameterList) {
  ListWriter w;
  k::Json attr = k::json_parse(R"({"type":"int"})");
  w.add("A.x", "Value", k::json_str("v").get());
  w.add("A.", "Writable", true);
  w.add_shared("A.y", "Attributes", attr.get());
  w.add_shared("B.y", "Attributes", attr.get());
  EXPECT_EQ(w.count(), 4u);
  std::string text = w.finish();
  EXPECT_EQ(text,
            R"({"ParameterList":[{"Name":"A.x","Value":"v"},{"Name":"A.","Writable":true},)"
            R"({"Name":"A.y","Attributes":{"type":"int"}},{"Name":"B.y","Attributes":{"type":"int"}}]})");
  EXPECT_TRUE(k::json_parse(text));
}

}  // namespace
}  // namespace sim
