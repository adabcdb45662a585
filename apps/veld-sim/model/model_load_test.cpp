#include "model/model_load.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

#define TABLE(extra) \
  R"({"T": {"#attr": {"type": "object", "multi": true}, "#template": {"P": {"#attr": {"type": "int", "access": "readWrite", "default": 0}}})" extra "}}"
#define ORDERED(extra) \
  R"({"T": {"#attr": {"type": "object", "multi": true, "ordered": true}, "#template": {}, "1": {}, "2": {})" extra "}}"

TEST(LoadModel, ErrorsNameThePathAndTheReason) {
  const struct {
    const char* model;
    const char* error;  // expected part of the error text
  } cases[] = {
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
      // The accounts: only at the root.
      {R"({"A": {"#access": {}}})", "A: unexpected key #access in an object"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_EQ(load_model(k::json_parse(c.model).get(), error), nullptr) << c.model;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.model << ": " << error;
  }
}

// The model a daemon serves when no other is given (and its accounts, when asked).
}  // namespace
}  // namespace sim
