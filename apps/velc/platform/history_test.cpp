#include "platform/history.h"

#include <gtest/gtest.h>
#include <readline/history.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "testing/temp_dir.h"

namespace {

std::string read(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path).rdbuf();
  return s.str();
}

mode_t mode_of(const std::string& path) {
  struct stat st {};
  lstat(path.c_str(), &st);
  return st.st_mode & 07777;
}

// A private folder for the history files of one test; the history is empty at start and end.
class HistoryFile : public testing::Test {
 protected:
  void SetUp() override { k::history_clear(); }
  void TearDown() override { k::history_clear(); }
  k::test::TempDir dir_;
  std::string why_;
};

// Loading skips empty lines and keeps only the newest entries of a long file; dumping writes the
// latest ones privately (an existing file is tightened); touching makes an empty private file.
TEST_F(HistoryFile, LoadDumpAndTouch) {
  std::string path = dir_.file("h"), touched = dir_.file("t");
  std::ofstream out(path);
  for (size_t i = 0; i < k::kHistoryLoadMax + 5; ++i) out << "line " << i << "\n\n";
  out.close();
  chmod(path.c_str(), 0644);
  ASSERT_EQ(k::history_load(path, why_), 0) << why_;
  std::vector<std::string> entries = k::history_entries();
  ASSERT_EQ(entries.size(), k::kHistoryLoadMax);
  EXPECT_EQ(entries.front(), "line 5");
  k::history_add("pwd");
  ASSERT_EQ(k::history_dump(path, 2, why_), 0) << why_;
  EXPECT_EQ(read(path), "line " + std::to_string(k::kHistoryLoadMax + 4) + "\npwd\n");
  ASSERT_EQ(k::history_file_touch(touched, why_), 0) << why_;
  EXPECT_EQ(read(touched), "");
  for (const std::string& f : {path, touched}) EXPECT_EQ(mode_of(f), 0600u) << f;
}

// Files that another user could have planted are neither read nor written.
TEST_F(HistoryFile, PlantedFilesAreRefusedAndLeftAlone) {
  std::string link = dir_.file("link"), fifo = dir_.file("fifo"), foreign = dir_.file("foreign");
  ASSERT_EQ(symlink(dir_.file("target").c_str(), link.c_str()), 0);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::vector<std::pair<std::string, std::string>> cases = {
      {link, "it is a symbolic link"},
      {fifo, "it is not a regular file"},  // and nothing waits for a writer
      {dir_.file("w"), "others may write to it"},
      {dir_.file("g"), "others may write to it"},  // its group counts as others
  };
  for (auto [name, mode] : {std::pair{"w", 0666}, {"g", 0620}, {"target", 0600}, {"foreign", 0600}}) {
    std::ofstream(dir_.file(name)) << "planted\n";
    chmod(dir_.file(name).c_str(), mode);
  }
  if (geteuid() == 0 && chown(foreign.c_str(), 65534, 65534) == 0)  // only root gives files away
    cases.push_back({foreign, "it is owned by another user"});
  k::history_add("secret");
  for (const auto& [path, reason] : cases) {
    std::string load, dump, touch;
    EXPECT_EQ(k::history_load(path, load) + k::history_dump(path, -1, dump) +
                  k::history_file_touch(path, touch), -3) << path;
    EXPECT_EQ(load + "|" + dump + "|" + touch, reason + "|" + reason + "|" + reason) << path;
  }
  EXPECT_EQ(history_length, 1);  // nothing was loaded
  for (const char* name : {"target", "w", "g", "foreign"})
    EXPECT_EQ(read(dir_.file(name)), "planted\n") << name;
}

}  // namespace
