#include "model/rights.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

Rights parsed(const char* rules) {
  Rights r;
  std::string error;
  EXPECT_TRUE(parse_rights(k::json_parse(rules).get(), r, error)) << error;
  return r;
}

// The letters of a set of rights, in "rwadx" order.
std::string letters(unsigned rights) {
  std::string out;
  for (int i = 0; i < 5; ++i)
    if (rights & (1u << i)) out.push_back("rwadx"[i]);
  return out;
}

TEST(Rights, TheLongestCoveringRuleDecides) {
  Rights r = parsed(R"({".": "r", "Device.Users.": "", "Device.Hosts.": "dawr",
      "Device.Time.NTPServer1": "rw", "Device.Ping": "x", "Device.WiFi": "rx"})");
  const std::pair<const char*, const char*> cases[] = {  // a path and the letters of its rights
      {".", "r"}, {"Device.Users.User.1.Password", ""}, {"Device.Hosts.Host.3.HostName", "rwad"},
      {"Device.UsersX.", "r"}, {"Device.Time.NTPServer10", "r"},  // a rule covers whole elements only
      {"Device.Time.NTPServer1", "rw"}, {"Device.Ping.Status", "x"},  // a method's outputs
      {"Device.WiFi.SSID.1.SSID", "rx"},  // an object named without its dot
  };
  for (const auto& [path, expected] : cases) EXPECT_EQ(letters(r.at(path)), expected) << path;
  EXPECT_EQ(parsed(R"({"Device.DeviceInfo.": "r"})").at("Device."), 0u) << "no rule, no right";
}

// Whether rules below a node grant or differ is run through the engine's listings and deletes.
TEST(Rights, BadRulesAreRefusedWithTheRuleNamed) {
  const std::pair<const char*, const char*> cases[] = {  // rules and their error
      {R"(["r"])", "must be an object of {path: letters}"},
      {R"({".Device.": "r"})", "\".Device.\" is not a data-model path"},
      {R"({"Device.Hosts.Host.#template.": "r"})",
       "\"Device.Hosts.Host.#template.\" is not a data-model path"},
      {R"({"Device.": true})", "\"Device.\" must be a text of letters from \"rwadx\""},
      {R"({"Device.": "rwz"})", "\"Device.\": \"rwz\" holds a letter outside \"rwadx\""},
  };
  Rights r;
  std::string error;
  for (const auto& [rules, expected] : cases)
    EXPECT_EQ(parse_rights(k::json_parse(rules).get(), r, error) ? "" : error, expected) << rules;
}

TEST(Rights, TemplatesAndArgumentsAreJudgedByTheirTableAndMethod) {
  // Rows: path, judged.
  const std::pair<const char*, const char*> cases[] = {
      {"Device.IP.Interface.#template.IPv4Address.#template.IP", "Device.IP.Interface."},
      {"Device.IP.Diagnostics.Ping.#input.Host", "Device.IP.Diagnostics.Ping"}, {"D.H.3.N", "D.H.3.N"},
  };
  for (const auto& [path, judged] : cases) EXPECT_EQ(rights_path(path), judged) << path;
}

}  // namespace
}  // namespace sim
