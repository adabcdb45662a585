// Local names for Tab and hints: programs along PATH, and the entries of a folder.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "shell/completion_rules.h"

namespace completion {
namespace {

// Where to look for the word, and which part of it the names must begin with.
struct Search {
  std::vector<std::string> folders;  // in order: a name found in an earlier one is kept
  std::string fragment;              // what the names begin with (case-sensitive)
  bool executable = false;           // an entry qualifies when executable, else when it exists
};

Search search_for(size_t index, const std::string& word, bool file_flag) {
  Search s;
  if (file_flag || index >= 2) {
    size_t slash = word.rfind('/');
    if (slash == std::string::npos) {
      s.folders = {"."};  // the working folder
      s.fragment = word;
    } else {
      s.folders = {word.substr(0, slash + 1)};
      s.fragment = word.substr(slash + 1);
    }
    return s;
  }
  // A program's name (`sh`'s first argument): the executables along PATH. Without PATH there is
  // nowhere to look.
  s.executable = true;
  s.fragment = word;
  if (const char* path = std::getenv("PATH")) {
    std::string_view rest(path);
    for (;;) {
      size_t colon = rest.find(':');
      s.folders.emplace_back(rest.substr(0, colon));
      if (colon == std::string_view::npos) break;
      rest.remove_prefix(colon + 1);
    }
  }
  return s;
}

// Adds to `names` each entry of `folder` that begins with the fragment and qualifies, with a
// trailing "/" for a folder, until `names` holds `room` names. A folder that cannot be opened
// adds nothing.
void collect(const std::string& folder, const Search& s, std::set<std::string>& names,
             size_t room) {
  if (folder.empty()) return;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) return;
  std::string base = folder.back() == '/' ? folder : folder + "/";
  while (dirent* entry = readdir(dir.get())) {
    if (names.size() >= room) return;
    std::string_view name = entry->d_name;
    if (name == "." || name == ".." || !begins_with(name, s.fragment)) continue;
    std::string full = base + entry->d_name;
    if (access(full.c_str(), s.executable ? X_OK : F_OK) != 0) continue;
    struct stat st;
    bool is_folder = stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    names.insert(std::string(name) + (is_folder ? "/" : ""));
  }
}

}  // namespace

void complete_files(size_t index, json_t* tokens, bool file_flag, Candidates& out) {
  const char* word = k::json_array_text(tokens, index);
  Search s = search_for(index, word ? word : "", file_flag);
  std::set<std::string> names;
  for (const std::string& folder : s.folders) collect(folder, s, names, out.room());
  // A name already offered (a keyword of the command) is not offered twice.
  const std::vector<std::string>& offered = out.list();
  for (const std::string& name : names) {
    if (std::find(offered.begin(), offered.end(), name) == offered.end()) out.add(name);
  }
  out.sort();
}

}  // namespace completion
