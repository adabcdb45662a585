// execute against a fake veld: every refusal before anything is sent, the argument list sent, the
// outputs drawn, and request mode asking veld for the method's arguments.
#include <gtest/gtest.h>

#include "datamodel/execute.h"
#include "datamodel/test_support.h"

using testing_support::args;
using testing_support::FakeVeld;
using testing_support::Strings;
using testing_support::TestClient;

namespace {

// Methods beside the fixture's Device.IP.Ping (whose argument Host has no default): one with
// arguments (one nested) and two outputs, one without "#input", one with an empty one.
constexpr const char* kReset = R"({"#fetched": true, "#attr": {"type": "method"},
    "#input": {"#attr": {"type": "object"},
      "Delay": {"#attr": {"type": "int", "default": 0}},
      "Mode": {"#attr": {"type": "string", "default": "soft"}},
      "Opts": {"#attr": {"type": "object"}, "Level": {"#attr": {"type": "int", "default": 1}}}},
    "Flags": {"#attr": {"type": "unsignedInt", "base": 16, "default": 0}},
    "Status": {"#attr": {"type": "string", "default": ""}}})";

std::string execute_request(const std::string& params) { return "Execute " + params; }

const char* const kOutputs = R"([{"Name":"Device.IP.Reset.Status","Value":"Done"},
                                 {"Name":"Device.IP.Reset.Flags","Value":255}])";
const char* const kOutputTree =
    "└── Device\n    └── IP\n        └── Reset\n"
    "            ├── Flags  = 0xff\n            └── Status = 'Done'\n";

struct Case {
  std::vector<const char*> words;
  int result;
  std::string output;
  Strings sent;
};

void run_cases(TestClient& t, FakeVeld& veld, const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    std::string label = c.words.empty() ? "(none)" : c.words[0];
    if (c.words.size() > 1) label += std::string(" ") + c.words[1];
    k::Json a = args(c.words);
    int result = 0;
    EXPECT_EQ(output_of([&] { result = cmd_execute(t.client, "execute", a.get()); }), c.output)
        << label;
    EXPECT_EQ(result, c.result) << label;
    EXPECT_EQ(veld.take_requests(), c.sent) << label;
  }
}

TEST(Execute, WithTheSchemaCache) {
  TestClient t;
  t.load_schema();
  SchemaNodePtr ip = t.at("Device.IP");
  ip->set_child("Reset", testing_support::node_from_json(kReset));
  ip->set_child("NoInput",
                testing_support::node_from_json(R"({"#fetched": true, "#attr": {"type": "method"}})"));
  ip->set_child("EmptyInput", testing_support::node_from_json(
                                  R"({"#fetched": true, "#attr": {"type": "method"},)"
                                  R"( "#input": {"#attr": {"type": "object"}}})"));
  const std::string delay5 =
      R"({"MethodName":"Device.IP.Reset","ParameterList":[{"Name":"delay","Value":5}]})";
  const std::string nested =
      R"({"MethodName":"Device.IP.Reset","ParameterList":[{"Name":"Opts.LEVEL","Value":-2},)"
      R"({"Name":"Mode","Value":"a=b"}]})";
  const std::string no_input = R"({"MethodName":"Device.IP.NoInput"})";
  FakeVeld veld(t.session, {{execute_request(delay5), kOutputs},
                            {execute_request(nested), kOutputs},
                            {execute_request(no_input), "[]"}});
  const std::string long_delay = "Delay=" + std::string(kExecuteArgumentMax - 6, '1');
  run_cases(t, veld, {
      {{}, -1, "execute: no method.\n", {}},
      {{"Device.Nope", "Delay=1"}, -1, "execute: Device.Nope: no such method.\n", {}},
      {{"Device.IP.NoInput", "X=1"}, -1,
       "execute: this method does not have input arguments.\n", {}},
      {{"Device.IP.EmptyInput", "X=1"}, -1,
       "execute: this method does not have input arguments.\n", {}},
      // Without arguments it runs; no outputs: the status, and -1.
      {{"Device.IP.NoInput"}, -1, "Status: OK\n", {execute_request(no_input)}},
      // Looked up without regard to case, sent as typed; the value takes the default's type.
      {{"Device.IP.Reset", "delay=5"}, 0, "key = delay, value = 5\n" + std::string(kOutputTree),
       {execute_request(delay5)}},
      {{"Device.IP.Reset", "Opts.LEVEL=-2", "Mode=a=b"}, 0,
       "key = Opts.LEVEL, value = -2\nkey = Mode, value = a=b\n" + std::string(kOutputTree),
       {execute_request(nested)}},
      // One bad argument stops the command before anything is sent; the key line comes first.
      {{"Device.IP.Reset", "Delay=1", "Nope=1"}, -1,
       "key = Delay, value = 1\nkey = Nope, value = 1\nexecute: Nope: no such node.\n", {}},
      {{"Device.IP.Reset", "Delay"}, -1, "execute: Delay: no value.\n", {}},
      {{"Device.IP.Reset", "Opts=1"}, -1,
       "key = Opts, value = 1\nexecute: Opts: is an object or doesn't have default value.\n", {}},
      // The longest argument is taken; one byte more is refused.
      {{"Device.IP.Reset", long_delay.c_str()}, -1,
       "key = Delay, value = " + long_delay.substr(6) + "\nexecute: Delay: invalid value " +
           long_delay.substr(6) + ".\n", {}},
      {{"Device.IP.Reset", (long_delay + "1").c_str()}, -1,
       "execute: argument too long (more than 259 bytes).\n", {}},
  });
}

TEST(Execute, RequestModeAsksVeldForTheArguments) {
  TestClient t;  // no cache
  auto input_request = [](const std::string& method) {
    return R"(GetParameterAttributes {"ParameterNames":[")" + method +
           R"(.#input."],"Depth":-1})";
  };
  const std::string run7 =
      R"({"MethodName":"Device.IP.Reset","ParameterList":[{"Name":"DELAY","Value":7}]})";
  const char* const kOutputTreeInBase0 =
      "└── Device\n    └── IP\n        └── Reset\n"
      "            ├── Flags  = 255\n            └── Status = 'Done'\n";
  FakeVeld veld(t.session,
                {{input_request("Device.IP.Reset"),
                  R"([{"Name":"Device.IP.Reset.#input.","Attributes":{"type":"object"}},
                      {"Name":"Device.IP.Reset.#input.Delay","Attributes":{"type":"int","default":0}}])"},
                 {execute_request(run7), kOutputs}});
  run_cases(t, veld, {
      // The outputs are drawn in base 0: there is no cache to know better.
      {{"Device.IP.Reset", "DELAY=7"}, 0,
       "key = DELAY, value = 7\n" + std::string(kOutputTreeInBase0),
       {input_request("Device.IP.Reset"), execute_request(run7)}},
      {{"Device.IP.Reset", "#attr=1"}, -1,
       "key = #attr, value = 1\nexecute: #attr: no such node.\n",
       {input_request("Device.IP.Reset")}},
      // Without arguments nothing needs converting: the method runs at once.
      {{"Device.Nope"}, -1, "[9005] Invalid parameter name\n",
       {execute_request(R"({"MethodName":"Device.Nope"})")}},
  });
}

}  // namespace
