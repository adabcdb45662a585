#include "render/attr_report.h"

#include <gtest/gtest.h>

#include "platform/json.h"
#include "render/result_report.h"
#include "testing/test_stream.h"

namespace {

std::string report(const char* attributes, bool escape = false) {
  k::Json parsed = k::json_parse(attributes);
  k::ColourTable colours;
  colours.escape = escape;
  TestStream out;
  attr_report("Device.X.Y", parsed.get(), colours, out.file);
  return out.text();
}

constexpr const char* kHead = "Canonical path:     :Device.X.Y\n";

TEST(AttrReport, EveryMemberInTheReportsOrder) {
  // Members in another order than the report's, and one the report does not know.
  EXPECT_EQ(report(R"({"relations": [{"verdict": 1, "match": "Device.Hosts.Host.{i}."}], "mappings": ["Device.Other.", 7],
      "regex": "^[a-z]\\d+$", "offValue": [0, "off"], "handlers": [{"action": 0, "handler": "get_x"}, {"action": 6, "handler": "redraw_x"}],
      "maxCount": 9, "minCount": 1, "maxInclusive": 4294967295, "minInclusive": -5, "maxLength": 64, "minLength": 1,
      "async": true, "ignore_handler_set": false, "get_before_set": true, "foreign_key": false, "multi": true, "unique": false,
      "runtime": true, "ordered": false, "enum": ["a", {"b": 1}], "default": 10, "const": true, "base": 8, "perms": "rw-r--",
      "type": "unsignedInt"})"),
            std::string(kHead) +
                "Type:               unsignedInt\nBase:               octal\nConst:              true\n"
                "Default:            012\nEnum: \n  a\n  {\"b\": 1}\nOrdered:            false\n"
                "Runtime:            true\nUnique:             false\nMulti-instance:     true\n"
                "Foreign key:        false\nGET before SET:     true\nIgnore SET handler: false\n"
                "Async:              true\nMinimal length:     1\nMaximum length:     64\n"
                "Minimal inclusive:  -5\nMaximum inclusive:  4294967295\nMinimal count:      1\n"
                "Maximum count:      9\nHandler get:        get_x\nHandler redraw:        redraw_x\n"
                "OFF value:          [0, \"off\"]\nRegex:              \"^[a-z]\\\\d+$\"\nMappings: \n  Device.Other.\n  7\n"
                "Relations: \n  cascade before 'Device.Hosts.Host.{i}.' delete\n");
}

TEST(AttrReport, ValueRules) {
  const std::pair<const char*, const char*> cases[] = {  // attributes, report after the type
      {R"({"type": "int", "base": 2, "default": 5})", "Base:               binary\nDefault:            0b101\n"},
      // Any other base, or no integer at all, is decimal.
      {R"({"type": "int", "base": "16", "default": 255})", "Base:               decimal\nDefault:            255\n"},
      // Only JSON true is true; limits that are no integers show 0; empty lists print nothing.
      {R"({"type": "int", "unique": "yes", "minInclusive": 1.5, "enum": [], "mappings": "x"})",
       "Unique:             false\nMinimal inclusive:  0\n"},
      // Handlers need a text and an action 0..6; relations a match text.
      {R"({"type": "int", "handlers": [{"action": 7, "handler": "h7"},
          {"action": -1, "handler": "h"}, {"action": 5}, {"action": "5", "handler": "h"},
          {"action": 5, "handler": "ipping"}, 3]})",
       "Handler execute:        ipping\n"},
      {R"({"type": "int", "relations": [{"verdict": 4, "match": "A"},
          {"verdict": 0}, {"match": "C"}, {"verdict": 3, "match": "D"}]})",
       "Relations: \n  unknown before 'A' delete\n  unknown before 'C' delete\n"
       "  continue before 'D' delete\n"},
  };
  const std::string head = std::string(kHead) + "Type:               int\n";
  for (const auto& [attributes, text] : cases) EXPECT_EQ(report(attributes), head + text);
}

// Without a type text nothing is read, and the error says where and why.
TEST(AttrReport, ParseErrorsSayWhereAndWhy) {
  const std::pair<const char*, const char*> cases[] = {
      {R"({"const": true})", "attr parse error on 1:6 : Object item not found: type\n"},
      {R"({"type": null, "const": true})", "attr parse error on 1:6 : Expected string, got null\n"},
      {"[]", "attr parse error on 1:1 : Expected object, got array\n"},
  };
  for (const auto& [attributes, line] : cases)
    EXPECT_EQ(report(attributes), std::string(line) + kHead + "Type:               (none)\n");
}

// Texts from the device go out escaped on a terminal, and unchanged into a pipe.
TEST(AttrReport, EscapesDeviceTextOnATerminal) {
  const char* hostile = "{\"type\": \"s\\u001b]0;x\\u0007\", \"default\": \"\\u009b\","
                        " \"enum\": [\"\\r\"], \"relations\": [{\"verdict\": 2, \"match\": \"\\u001b\"}]}";
  EXPECT_EQ(report(hostile, true), std::string(kHead) +
                                       "Type:               s\\x1b]0;x\\x07\n"
                                       "Default:            '\\u009b'\n"
                                       "Enum: \n  \\x0d\n"
                                       "Relations: \n  clear before '\\x1b' delete\n");
  EXPECT_NE(report(hostile, false).find("Type:               s\x1b]0;x\a\n"), std::string::npos);
}

TEST(ReportResult, Forms) {
  const std::pair<const char*, const char*> cases[] = {  // the reply, what is printed
      {R"({"jsonrpc":"2.0","id":1,"error":{"code":9003,"detail":"two failed","data":{}}})", "[9003] : two failed\n"},
      {R"({"jsonrpc":"2.0","id":1,"error":{"code":9003,"message":"Invalid arguments","detail":"d","data":{"Device.A":"9007 Invalid parameter value","Device.B":[1,2],"Device.C":7}}})",
       "[9003] Invalid arguments: d\nDevice.A: \"9007 Invalid parameter value\"\nDevice.B: [1, 2]\nDevice.C: 7\n"},
  };
  for (const auto& [wire, printed] : cases) {
    k::Json j = k::json_parse(wire);
    TestStream out;
    report_result(k::msg_parse(j.get()).value(), k::ColourTable{}, out.file);
    EXPECT_EQ(out.text(), printed) << wire;
  }
}

}  // namespace
