// The bash completion file offers after -r exactly the words request mode accepts.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/command_rows.h"

namespace {

TEST(BashCompletion, RequestWordsAreTheTablesRequestCommands) {
  std::ifstream in(std::string(VELC_SOURCE_DIR) + "/completions/bash/velc");
  ASSERT_TRUE(in) << "no completions/bash/velc";
  const std::string key = "_velc_requests=\"";
  std::vector<std::string> offered;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(key, 0) != 0) continue;
    std::istringstream words(line.substr(key.size(), line.rfind('"') - key.size()));
    for (std::string w; words >> w;) offered.push_back(w);
  }
  std::vector<std::string> accepted;
  for (const CommandEntry& e : velc_commands())
    if (e.request_handler) accepted.push_back(e.name);
  std::sort(offered.begin(), offered.end());
  std::sort(accepted.begin(), accepted.end());
  EXPECT_EQ(offered, accepted);
}

}  // namespace
