// Reading values and listing, end to end: velc in request mode (no schema cache, paths as typed)
// and in the shell fed through a pipe (with the cache, so integers show in their bases).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "harness/process.h"

namespace {

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// What the shell printed for one command line: the text after the echoed "velc:> <command>"
// up to the next prompt.
std::string shell_output(const std::string& out, const std::string& command) {
  std::string echoed = "velc:> " + command + "\n";
  size_t begin = out.find(echoed);
  if (begin == std::string::npos) return "<command not echoed: " + command + ">";
  begin += echoed.size();
  size_t end = out.find("velc:> ", begin);
  return out.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

// True when every line holds " = " at the same column.
bool aligned_on_equals(const std::vector<std::string>& lines) {
  if (lines.empty()) return false;
  size_t column = lines[0].find(" = ");
  return std::all_of(lines.begin(), lines.end(), [column](const std::string& l) {
    return column != std::string::npos && l.find(" = ") == column;
  });
}

bool logged(const e2e::Emulator& sim, const std::string& piece) {
  auto requests = sim.requests();
  return std::any_of(requests.begin(), requests.end(),
                     [&](const std::string& r) { return r.find(piece) != std::string::npos; });
}

// The decimal value of a one-line "name = value" output.
long long value_of(const std::string& line) { return std::stoll(line.substr(line.find(" = ") + 3)); }

TEST(ValuesEndToEnd, CatInRequestModeAlignsNamesAndQuotesStrings) {
  e2e::Emulator sim;
  e2e::Run r = e2e::velc(sim, {"-r", "cat", "Device.DeviceInfo."});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(logged(sim, R"("ParameterNames":["Device.DeviceInfo."])"));
  std::vector<std::string> lines = lines_of(r.out);
  ASSERT_GT(lines.size(), 3u) << r.out;
  EXPECT_TRUE(aligned_on_equals(lines)) << r.out;
  for (const std::string& l : lines) {
    std::string name = l.substr(0, l.find(' '));
    std::string value = l.substr(l.find(" = ") + 3);
    if (name == "Manufacturer" || name == "SoftwareVersion") {
      EXPECT_TRUE(value.size() >= 2 && value.front() == '\'' && value.back() == '\'') << l;
    }
    if (name == "UpgradeProgress") {
      EXPECT_EQ(value.find('\''), std::string::npos) << l;
    }
  }
  EXPECT_NE(r.out.find("\nMemoryStatus.Total "), std::string::npos) << "nested names are relative";
}

TEST(ValuesEndToEnd, GetParameterValuesAndGetReachTheSameHandler) {
  e2e::Emulator sim;
  const std::string path = "Device.DeviceInfo.Manufacturer";
  e2e::Run cat = e2e::velc(sim, {"-r", "cat", path});
  e2e::Run method = e2e::velc(sim, {"-r", "GetParameterValues", path});
  e2e::Run get = e2e::velc(sim, {"-r", "get", path});
  EXPECT_EQ(cat.out.rfind("Manufacturer = '", 0), 0u) << cat.out;
  EXPECT_EQ(method.out, cat.out);
  EXPECT_EQ(get.out, cat.out);
  EXPECT_EQ(method.status, 0);
}

TEST(ValuesEndToEnd, LongListingInRequestMode) {
  e2e::Emulator sim;
  e2e::Run r = e2e::velc(sim, {"-r", "ls", "--", "-l", "Device.DeviceInfo"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(logged(sim, R"("ParameterNames":["Device.DeviceInfo."],"Depth":1)"));
  std::vector<std::string> lines = lines_of(r.out);
  ASSERT_GT(lines.size(), 3u) << r.out;
  const std::string& header = lines[0];
  EXPECT_EQ(header.rfind("Type ", 0), 0u);
  size_t name_column = header.find("Name");
  ASSERT_EQ(name_column, header.size() - 4) << header;
  // Objects first (the object itself as "."), then the parameters by name; names in one column.
  EXPECT_EQ(lines[1].rfind("object ", 0), 0u);
  EXPECT_EQ(lines[1].substr(name_column), ".");
  std::vector<std::string> parameter_names;
  bool objects_done = false;
  for (size_t i = 1; i < lines.size(); ++i) {
    bool object = lines[i].rfind("object ", 0) == 0;
    EXPECT_FALSE(object && objects_done) << lines[i];
    objects_done = objects_done || !object;
    ASSERT_GT(lines[i].size(), name_column) << lines[i];
    EXPECT_EQ(lines[i][name_column - 1], ' ') << lines[i];
    EXPECT_NE(lines[i][name_column], ' ') << lines[i];
    if (!object) parameter_names.push_back(lines[i].substr(name_column));
  }
  EXPECT_TRUE(std::is_sorted(parameter_names.begin(), parameter_names.end())) << r.out;
  EXPECT_NE(r.out.find("MemoryStatus."), std::string::npos);

  e2e::Run root = e2e::velc(sim, {"-r", "ls", "--", "-l", "Device."});
  EXPECT_NE(root.out.find(" DeviceInfo.\n"), std::string::npos) << root.out;
}

TEST(ValuesEndToEnd, ShortListingInRequestModeAsksVeld) {
  e2e::Emulator sim;
  e2e::Run objects = e2e::velc(sim, {"-r", "ls", "Device"});
  EXPECT_EQ(objects.status, 0);
  EXPECT_NE(objects.out.find("Device.DeviceInfo."), std::string::npos) << objects.out;
  EXPECT_NE(objects.out.find("Device.Hosts."), std::string::npos) << objects.out;

  e2e::Run parameter = e2e::velc(sim, {"-r", "ls", "Device.DeviceInfo.Manufacturer"});
  EXPECT_EQ(parameter.status, 0);
  EXPECT_EQ(parameter.out, "Device.DeviceInfo.Manufacturer\n");
}

TEST(ValuesEndToEnd, MissingPathsAreReportedWithTheirStatus) {
  e2e::Emulator sim;
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out_begins;
  };
  const Case cases[] = {
      {{"-r", "cat", "Device.Nope."}, 0, "[9005] "},  // cat reports and still succeeds
      {{"-r", "ls", "Device.Nope"}, 255, "[9005] "},
      {{"-r", "ls", "--", "-l", "Device.Nope."}, 0, "Type  Access  Perms  Flags  Name\n"},
  };
  for (const Case& c : cases) {
    e2e::Run r = e2e::velc(sim, c.args);
    EXPECT_EQ(r.status, c.status) << c.args[1] << " " << c.args.back();
    EXPECT_EQ(r.out.rfind(c.out_begins, 0), 0u) << r.out;
  }
}

TEST(ValuesEndToEnd, TheShellShowsIntegersInTheirBases) {
  e2e::Emulator sim;
  struct Case {
    const char* path;
    const char* name;
    const char* format;  // of the decimal value
  };
  const Case cases[] = {
      {"Device.System.Umask", "Umask", "0%llo"},
      {"Device.Firewall.Chain.1.Rule.1.SourceMask", "SourceMask", "0x%llx"},
  };
  std::string input;
  for (const Case& c : cases) input += std::string("cat ") + c.path + "\n";
  input += "cat Device.System.FeatureFlags\n";
  e2e::Run shell = e2e::velc(sim, {}, input);
  EXPECT_EQ(shell.status, 0) << shell.err;
  for (const Case& c : cases) {
    e2e::Run plain = e2e::velc(sim, {"-r", "cat", c.path});
    char expected[64];
    std::snprintf(expected, sizeof expected, c.format, value_of(plain.out));
    EXPECT_EQ(shell_output(shell.out, std::string("cat ") + c.path),
              std::string(c.name) + " = " + expected + "\n");
  }
  long long flags = value_of(e2e::velc(sim, {"-r", "cat", "Device.System.FeatureFlags"}).out);
  std::string binary;
  for (long long v = flags; v; v >>= 1) binary.insert(binary.begin(), char('0' + (v & 1)));
  EXPECT_EQ(shell_output(shell.out, "cat Device.System.FeatureFlags"),
            "FeatureFlags = 0b" + (binary.empty() ? "0" : binary) + "\n");
}

TEST(ValuesEndToEnd, TheShellDrawsTrees) {
  e2e::Emulator sim;
  e2e::Run shell = e2e::velc(sim, {},
                             "catree Device.Time\n"
                             "catree Device.DeviceInfo.Manufacturer\n"
                             "tree Device.DeviceInfo.Manufacturer\n"
                             "tree Device.Nope\n"
                             "cat Device.Nope\n");
  EXPECT_EQ(shell.status, 0) << shell.err;
  std::vector<std::string> lines = lines_of(shell_output(shell.out, "catree Device.Time"));
  ASSERT_GT(lines.size(), 2u) << shell.out;
  EXPECT_EQ(lines[0], "Device.Time.");
  std::vector<std::string> leaves(lines.begin() + 1, lines.end());
  EXPECT_TRUE(aligned_on_equals(leaves)) << shell.out;
  for (size_t i = 0; i < leaves.size(); ++i)
    EXPECT_EQ(leaves[i].rfind(i + 1 == leaves.size() ? "└── " : "├── ", 0), 0u) << leaves[i];

  EXPECT_EQ(shell_output(shell.out, "catree Device.DeviceInfo.Manufacturer")
                .rfind("Device.DeviceInfo.Manufacturer = '", 0),
            0u);
  EXPECT_EQ(shell_output(shell.out, "tree Device.DeviceInfo.Manufacturer"),
            "Device.DeviceInfo.Manufacturer\n");
  EXPECT_EQ(shell_output(shell.out, "tree Device.Nope"), "tree: Device.Nope: no such node\n");
  EXPECT_EQ(shell_output(shell.out, "cat Device.Nope"), "cat: Device.Nope: no such node.\n");
}

TEST(ValuesEndToEnd, ALargeTableSortsItsInstancesByNumber) {
  e2e::Emulator sim({"--hosts", "2000"});
  e2e::Run shell = e2e::velc(sim, {}, "catree Device.Hosts.Host.\n");
  EXPECT_EQ(shell.status, 0) << shell.err;
  std::string tree = shell_output(shell.out, "catree Device.Hosts.Host.");
  EXPECT_EQ(tree.rfind("Device.Hosts.Host.\n├── 1\n│   ├── ", 0), 0u) << tree.substr(0, 200);
  size_t at9 = tree.find("\n├── 9\n"), at10 = tree.find("\n├── 10\n");
  size_t at100 = tree.find("\n├── 100\n"), at2000 = tree.find("\n├── 2000\n");
  EXPECT_TRUE(at9 < at10 && at10 < at100 && at100 < at2000 && at2000 != std::string::npos);
  EXPECT_NE(tree.find("\n└── max_instance = 2000\n"), std::string::npos);
}

}  // namespace
