// execute against a fake veld: every refusal before anything is sent, the argument list sent and
// the outputs drawn. (Request mode, which asks veld for the arguments, is covered end to end.)
#include <gtest/gtest.h>

#include "datamodel/execute.h"
#include "datamodel/test_support.h"

using namespace testing_support;

// Beside the fixture's methods: one with arguments (one nested) and two outputs, one without
// "#input", one with an empty one.
TEST(Execute, WithTheSchemaCache) {
  TestClient t{kWithCache};
  SchemaNodePtr ip = t.at("Device.IP");
  ip->set_child("Reset", node_from_json(R"({"#fetched": true, "#attr": {"type": "method"},
    "#input": {"#attr": {"type": "object"}, "Delay": {"#attr": {"type": "int", "default": 0}},
      "Opts": {"#attr": {"type": "object"}, "Level": {"#attr": {"type": "int", "default": 1}}}},
    "Flags": {"#attr": {"type": "unsignedInt", "base": 16, "default": 0}}})"));
  ip->set_child("NoInput", node_from_json(R"({"#fetched": true, "#attr": {"type": "method"}})"));
  ip->set_child("EmptyInput", node_from_json(R"({"#fetched": true, "#attr": {"type": "method"},)"
                                             R"( "#input": {"#attr": {"type": "object"}}})"));
  const std::string run = R"(Execute {"MethodName":"Device.IP.Reset","ParameterList":)"
                          R"([{"Name":"delay","Value":5},{"Name":"Opts.LEVEL","Value":-2}]})";
  const std::string no_input = R"(Execute {"MethodName":"Device.IP.NoInput"})";
  FakeVeld veld(t.session, {{run, R"([{"Name":"Device.IP.Reset.Flags","Value":255}])"}, {no_input, "[]"}});
  const std::string long_delay = "Delay=" + std::string(kExecuteArgumentMax - 6, '1');
  const std::string too_long = long_delay + "1";
  const struct { std::vector<const char*> words; int result; std::string output; Strings sent; } cases[] = {
      {{}, -1, "execute: no method.\n", {}}, {{"Device.Nope", "Delay=1"}, -1, "execute: Device.Nope: no such method.\n", {}},
      {{"Device.IP.NoInput", "X=1"}, -1, "execute: this method does not have input arguments.\n", {}},
      {{"Device.IP.EmptyInput", "X=1"}, -1, "execute: this method does not have input arguments.\n", {}},
      {{"Device.IP.NoInput"}, -1, "Status: OK\n", {no_input}},  // no outputs: -1
      // Looked up without regard to case, sent as typed; the value takes the default's type.
      {{"Device.IP.Reset", "delay=5", "Opts.LEVEL=-2"}, 0, "key = delay, value = 5\nkey = Opts.LEVEL, value = -2\n"
       "└── Device\n    └── IP\n        └── Reset\n            └── Flags = 0xff\n", {run}},
      // One bad argument stops the command before anything is sent; the key line comes first.
      {{"Device.IP.Reset", "Delay=1", "Opts=1"}, -1, "key = Delay, value = 1\nkey = Opts, value = 1\n"
       "execute: Opts: is an object or doesn't have default value.\n", {}},
      // The longest argument is taken; one byte more is refused.
      {{"Device.IP.Reset", long_delay.c_str()}, -1, "key = Delay, value = " + long_delay.substr(6) +
       "\nexecute: Delay: invalid value " + long_delay.substr(6) + ".\n", {}},
      {{"Device.IP.Reset", too_long.c_str()}, -1, "execute: argument too long (more than 259 bytes).\n", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(t.run(cmd_execute, "execute", c.words), std::to_string(c.result) + " " + c.output);
    EXPECT_EQ(veld.take_requests(), c.sent) << c.output;
  }
}
