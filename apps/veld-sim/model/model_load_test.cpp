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
      {R"({"A": {"#attr": {"type": "string", "default": null}}})", "A: a \"default\" is a text"},
      {R"({"A": {"#attr": {"type": "object", "multi": true}}})", "A: a table needs \"#template\""},
      {R"({"A": {"#bogus": 1}})", "A: unexpected key #bogus"},
      {R"([1])", ".: a node must be a JSON object"},
      {R"({"#attr": {"type": "string", "default": ""}})", ".: the root must be an object"},
      {R"({"A": 1})", "A: a node must be a JSON object"},
      {R"({"A": {"#attr": []}})", "A: \"#attr\" must be an object"},
      {R"({"A": {"#attr": {"type": 1}}})", "A: \"type\" must be a text"},
      {R"({"A": {"#attr": {"type": "string", "default": ""}, "#x": 1}})", "A: unexpected key #x in a parameter"},
      {R"({"T": {"#attr": {"type": "object", "multi": true}, "#template": {"#attr": {"type": "string", "default": ""}}}})", "T: a template must be an object"},
      {TABLE(R"(, "#x": 1)"), "T: unexpected key #x in a table"},
      {TABLE(R"(, "1": 5)"), "T.1: an instance must be an object"},
      {R"({"M": {"#attr": {"type": "method"}, "#input": {"#attr": {"type": "string", "default": ""}}}})", "M: \"#input\" must be an object"},
      {R"({"M": {"#attr": {"type": "method"}, "#output": {"O": {}}}})", "M.O: an output must be a parameter"},
      {R"({"M": {"#attr": {"type": "method"}, "X": {}}})", "M: unexpected key X in a method"},
      {R"({"A": {"#attr": {"type": "int", "default": 0}, "#handler": "count", "#target": 1}})", "A: \"#target\" must be a text"},
      {R"({"A.B": {}})", "bad element name"},
      {TABLE(R"(, "01": {})"), "T: \"01\" is not an instance number"},
      {TABLE(R"(, "1": {"P": "one"})"), "T.1.P: bad value"},
      {TABLE(R"(, "1": {"Q": 1})"), "T.1.Q: not in the template"},
      {TABLE(R"(, "#order": [1])"), "not ordered"},
      {ORDERED(R"(, "#order": [1, 1])"), "must name every instance once"},
      {ORDERED(R"(, "#order": [1, 3])"), "names an instance the table lacks"},
      {R"({"A": {"#attr": {"type": "string", "regex": "[", "default": ""}}})", "regex does not compile"},
      {R"({"T": {"#attr": {"type": "object", "multi": true}, "#template": {"U": {"#attr": {"type": "object", "multi": true}, "#template": {}, "1": {}}}}})",
       "holds no instances"},
      {R"({"M": {"#attr": {"type": "method"}, "#input": {"O": {}}}})", "an argument must be a parameter"},
      {R"({"T": {"#attr": {"multi": true}, "#template": {}}})", "T: a table needs \"type\": \"object\""},
      {R"({"A": {"#attr": {"type": "string", "multi": true, "default": ""}}})", "A: \"multi\": true is for objects"},
      {R"({"T": {"#attr": {"type": "object", "multi": true}, "#template": {"U": {"#attr": {"type": "string", "unique": true, "default": ""}}}, "1": {"U": "x"}, "2": {"U": ""}, "3": {"U": "x"}}})",
       "T.3.U: bad value: instance 1 holds it already"},
      // Behaviours: a known handler of the node's kind, with a target exactly when it uses one.
      {R"({"A": {"#attr": {"type": "int", "default": 0}, "#handler": "uptme"}})", "A: unknown handler \"uptme\""},
      {R"({"A": {"#attr": {"type": "int", "default": 0}, "#handler": 5}})", "A: \"#handler\" must be a text"},
      {R"({"A": {"#attr": {"type": "string", "default": ""}, "#handler": "ping"}})", "A: \"ping\" is a handler of methods, not of parameters"},
      {R"({"M": {"#attr": {"type": "method"}, "#handler": "secret"}})", "M: \"secret\" is a handler of parameters, not of methods"},
      {R"({"A": {"#attr": {"type": "int", "default": 0}, "#handler": "count"}})", "A: the \"count\" handler needs a \"#target\""},
      {R"({"A": {"#attr": {"type": "int", "default": 0}, "#handler": "uptime", "#target": "B"}})", "A: the \"uptime\" handler takes no \"#target\""},
      {R"({"A": {"#attr": {"type": "int", "default": 0}, "#target": "B"}})", "A: \"#target\" without a \"#handler\""},
      {R"({"A": {"#attr": {"type": "int", "default": 0}, "#handler": "count", "#target": "T."}, "T": {"#attr": {"type": "object", "multi": true}, "#template": {}}})",
       "A: \"#target\" \"T.\" is not a relative path without a trailing dot"},
      {R"({"A": {"#attr": {"type": "int", "default": 0}, "#handler": "count", "#target": "B"}, "B": {"#attr": {"type": "int", "default": 0}}})",
       "A: \"#target\" \"B\" names no table"},
      {R"({"M": {"#attr": {"type": "method"}, "#handler": "debug_mode", "#target": "Nope"}})", "M: \"#target\" \"Nope\" names no parameter"},
      // The accounts: only at the root, and checked like the rest.
      {R"({"A": {"#access": {}}})", "A: unexpected key #access in an object"},
      {R"({"#access": {"users": {"a": {"rights": {".": "rq"}}}}, "A": {}})",
       "#access.users.a.rights: \".\": \"rq\" holds a letter outside \"rwadx\""},
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
