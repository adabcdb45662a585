#include "render/tree.h"

#include <gtest/gtest.h>

#include "platform/json.h"
#include "render/stdout_capture.h"

namespace {

std::string draw(const char* tree_json) {
  k::Json tree = k::json_parse(tree_json);
  EXPECT_TRUE(tree) << tree_json;
  StdoutCapture capture;
  print_tree(tree.get());
  return capture.finish();
}

struct TreeCase {
  const char* what;
  const char* tree;
  const char* drawing;
};

const TreeCase kTreeCases[] = {
    {"the usual shape: a table of leaves, then an object with nested children",
     R"({"name":"Device.","content":[
          {"name":"Users","content":[
             {"name":"UserNumberOfEntries","value":1},
             {"name":"User","content":[{"name":"1","content":[{"name":"Username","value":"admin"}]}]}]},
          {"name":"DeviceInfo","content":[
             {"name":"SerialNumber","value":"123"},
             {"name":"Manufacturer","value":"Acme"}]}]})",
     "Device.\n"
     "├── DeviceInfo\n"
     "│   ├── Manufacturer = 'Acme'\n"
     "│   └── SerialNumber = '123'\n"
     "└── Users\n"
     "    ├── User\n"
     "    │   └── 1\n"
     "    │       └── Username = 'admin'\n"
     "    └── UserNumberOfEntries = 1\n"},
    {"a root with an empty name draws no line; its children start at the margin",
     R"({"name":"","content":[{"name":"Result","value":"ok"},{"name":"Code","value":0}]})",
     "├── Code   = 0\n"
     "└── Result = 'ok'\n"},
    {"leaf siblings align their \"=\"",
     R"({"name":"T","content":[{"name":"bbb","value":2},{"name":"a","value":1}]})",
     "T\n"
     "├── a   = 1\n"
     "└── bbb = 2\n"},
    {"no padding when a sibling has children",
     R"({"name":"T","content":[{"name":"a","value":1},{"name":"bbbbbb","content":[]}]})",
     "T\n"
     "├── a = 1\n"
     "└── bbbbbb\n"},
    {"a record without a value shows its name alone, but still sets the width",
     R"({"name":"T","content":[{"name":"long_name"},{"name":"x","value":true}]})",
     "T\n"
     "├── long_name\n"
     "└── x         = true\n"},
    {"numbers inside names sort by value",
     R"({"name":"Host","content":[{"name":"10"},{"name":"2"},{"name":"1"},
                                  {"name":"item10"},{"name":"item9"}]})",
     "Host\n"
     "├── 1\n"
     "├── 2\n"
     "├── 10\n"
     "├── item9\n"
     "└── item10\n"},
    {"the base of a record picks the rendering of its integer",
     R"({"name":"T","content":[{"name":"Mask","value":255,"base":16},
                               {"name":"Mode","value":8,"base":8},
                               {"name":"Bits","value":5,"base":2}]})",
     "T\n"
     "├── Bits = 0b101\n"
     "├── Mask = 0xff\n"
     "└── Mode = 010\n"},
    {"a root that carries a value is one line",
     R"({"name":"Device.DeviceInfo.Manufacturer","value":"Acme","base":0})",
     "Device.DeviceInfo.Manufacturer = 'Acme'\n"},
    {"a column closes under the last child of every level",
     R"({"name":"R","content":[
          {"name":"a","content":[{"name":"x","content":[{"name":"p","value":1}]},{"name":"y"}]},
          {"name":"b","content":[{"name":"z","content":[{"name":"q","value":2}]}]}]})",
     "R\n"
     "├── a\n"
     "│   ├── x\n"
     "│   │   └── p = 1\n"
     "│   └── y\n"
     "└── b\n"
     "    └── z\n"
     "        └── q = 2\n"},
    {"records of unexpected shapes are drawn without failing",
     R"({"name":5,"content":[7,{"content":"x"},{"name":"v","value":{"k":1},"base":"x"}]})",
     "├── \n"
     "└── v = {\n    \"k\": 1\n}\n"},
    {"content that is not an array is no children", R"({"name":"N","content":{"a":1}})", "N\n"},
};

TEST(PrintTree, DrawsExactly) {
  for (const TreeCase& c : kTreeCases) EXPECT_EQ(draw(c.tree), c.drawing) << c.what;
}

TEST(DisplayTreeChild, FindsOrAppendsByName) {
  k::Json root = k::json_parse(R"({"name":"r","content":[{"name":"old"}]})");
  DisplayTreeIndex index;
  json_t* old = display_tree_child(index, root.get(), "old");
  EXPECT_EQ(old, json_array_get(json_object_get(root.get(), "content"), 0))
      << "children put there before the index was used are found";
  json_t* added = display_tree_child(index, root.get(), "new");
  EXPECT_EQ(display_tree_child(index, root.get(), "new"), added);
  EXPECT_EQ(json_array_size(json_object_get(root.get(), "content")), 2u);

  json_t* grandchild = display_tree_child(index, added, "leaf");
  EXPECT_TRUE(json_is_array(json_object_get(added, "content"))) << "content is created on demand";
  EXPECT_STREQ(json_string_value(json_object_get(grandchild, "name")), "leaf");
}

}  // namespace
