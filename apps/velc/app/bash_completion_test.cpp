// The bash completion file offers after -r exactly the words request mode accepts, and it and the
// man page name exactly the options of the command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/cline.h"
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

// The option names ("-x", "--name") in `text`, the man page's "\-" read as "-".
void add_option_names(std::string text, std::vector<std::string>& names) {
  std::erase(text, '\\');
  static const std::regex option(R"((^|[\s"])(-[A-Za-z]|--[a-z][a-z-]*)(?=[\s"=\[]|$))");
  for (std::sregex_iterator i(text.begin(), text.end(), option), end; i != end; ++i)
    names.push_back((*i)[2]);
}

std::vector<std::string> sorted_unique(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  v.erase(std::unique(v.begin(), v.end()), v.end());
  return v;
}

TEST(OptionLists, CompletionAndManPageNameTheParsersOptions) {
  std::vector<std::string> parsed;
  for (const OptionRow& row : cline_options()) {
    parsed.push_back(std::string("--") + row.name);
    if (row.code <= 255) parsed.push_back(std::string("-") + static_cast<char>(row.code));
  }
  // The completion's list of options: the words of `compgen -W "..."` that begins with -r.
  std::ifstream completion(std::string(VELC_SOURCE_DIR) + "/completions/bash/velc");
  std::string all((std::istreambuf_iterator<char>(completion)), {});
  size_t start = all.find("compgen -W \"-r ");
  ASSERT_NE(start, std::string::npos);
  start += std::strlen("compgen -W ");
  std::vector<std::string> offered;
  add_option_names(all.substr(start, all.find('"', start + 1) - start), offered);
  EXPECT_EQ(sorted_unique(offered), sorted_unique(parsed));
  // The man page's OPTIONS: the first line of each entry.
  std::ifstream man(std::string(VELC_SOURCE_DIR) + "/docs/velc.1");
  std::vector<std::string> documented;
  bool inside = false, entry = false;
  for (std::string line; std::getline(man, line);) {
    if (line.rfind(".SH", 0) == 0) inside = line == ".SH OPTIONS";
    if (inside && entry) add_option_names(line, documented);
    entry = line == ".TP";
  }
  EXPECT_EQ(sorted_unique(documented), sorted_unique(parsed));
}

}  // namespace
