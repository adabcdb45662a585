#include "render/tree.h"

#include <gtest/gtest.h>

#include "platform/json.h"
#include "testing/test_stream.h"

namespace {

TEST(PrintTree, DrawsExactly) {
  const std::pair<const char*, const char*> cases[] = {  // the tree, its drawing
      // Children in natural order (2 before 10); a column closes under the last child of a level.
      {R"({"name":"D.","content":[{"name":"U","content":[{"name":"N","value":1},{"name":"User","content":[
           {"name":"10","content":[{"name":"x","value":"b"}]},{"name":"2","content":[{"name":"x","value":"a"}]}]}]},
           {"name":"A","content":[{"name":"S","value":"1"}]}]})",
       "D.\n├── A\n│   └── S = '1'\n└── U\n    ├── N = 1\n    └── User\n        ├── 2\n"
       "        │   └── x = 'a'\n        └── 10\n            └── x = 'b'\n"},
      // Leaf siblings align "=" (a name without value counts); each value in its record's base.
      {R"({"name":"T","content":[{"name":"long_name"},{"name":"bbb","value":255,"base":16},{"name":"a","value":1,"base":2}]})",
       "T\n├── a         = 0b1\n├── bbb       = 0xff\n└── long_name\n"},
      // No alignment when a sibling has children.
      {R"({"name":"T","content":[{"name":"a","value":1},{"name":"bbbbbb","content":[]}]})", "T\n├── a = 1\n└── bbbbbb\n"},
      // A root with an empty name draws no line; one carrying a value is one line.
      {R"({"name":"","content":[{"name":"R","value":"ok"}]})", "└── R = 'ok'\n"},
      {R"({"name":"Device.X","value":"Acme","base":0})", "Device.X = 'Acme'\n"},
      // Records of unexpected shapes are drawn without failing.
      {R"({"name":5,"content":[7,{"content":"x"},{"name":"v","value":{"k":1},"base":"x"}]})", "├── \n└── v = {\n    \"k\": 1\n}\n"},
  };
  for (const auto& [tree, drawing] : cases) {
    k::Json parsed = k::json_parse(tree);
    TestStream out;
    print_tree(parsed.get(), k::ColourTable{}, out.file);
    EXPECT_EQ(out.text(), drawing);
  }
}

}  // namespace
