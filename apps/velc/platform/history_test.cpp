#include "platform/history.h"

#include <gtest/gtest.h>
#include <readline/history.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/temp_dir.h"

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
};

TEST_F(HistoryFile, LoadSkipsEmptyLinesAndDumpWritesLatestPrivately) {
  std::string old = dir_.file("old"), fresh = dir_.file("fresh");
  std::ofstream(old) << "cd Device\n\nls -l\ncat";
  chmod(old.c_str(), 0644);
  ASSERT_EQ(k::history_load(old), 0);
  k::history_add("pwd");
  ASSERT_EQ(k::history_dump(old, 3), 0);
  EXPECT_EQ(read(old), "ls -l\ncat\npwd\n");
  EXPECT_EQ(mode_of(old), 0600u);  // an existing file is tightened
  ASSERT_EQ(k::history_dump(fresh, -1), 0);
  EXPECT_EQ(read(fresh), "cd Device\nls -l\ncat\npwd\n");
  EXPECT_EQ(mode_of(fresh), 0600u);
}

TEST_F(HistoryFile, SymbolicLinkIsNeverFollowed) {
  std::string target = dir_.file("target"), link = dir_.file("link");
  std::ofstream(target) << "precious\n";
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  k::history_add("secret");
  EXPECT_EQ(k::history_dump(link, -1), -1);
  EXPECT_EQ(read(target), "precious\n");
  EXPECT_EQ(k::history_load(link), -1);
  EXPECT_EQ(history_length, 1);  // nothing was loaded through the link
}

}  // namespace
