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
};

TEST_F(HistoryFile, LoadSkipsEmptyLinesAndDumpWritesLatestPrivately) {
  std::string old = dir_.file("old"), fresh = dir_.file("fresh");
  std::ofstream(old) << "cd Device\n\nls -l\ncat";
  chmod(old.c_str(), 0644);
  std::string why;
  ASSERT_EQ(k::history_load(old, why), 0) << why;
  k::history_add("pwd");
  ASSERT_EQ(k::history_dump(old, 3, why), 0) << why;
  EXPECT_EQ(read(old), "ls -l\ncat\npwd\n");
  EXPECT_EQ(mode_of(old), 0600u);  // an existing file is tightened
  ASSERT_EQ(k::history_dump(fresh, -1, why), 0) << why;
  EXPECT_EQ(read(fresh), "cd Device\nls -l\ncat\npwd\n");
  EXPECT_EQ(mode_of(fresh), 0600u);
}

// A long file loads only its newest entries, in their order.
TEST_F(HistoryFile, LoadKeepsTheNewestEntries) {
  std::string path = dir_.file("long");
  std::ofstream out(path);
  for (size_t i = 0; i < k::kHistoryLoadMax + 5; ++i) out << "line " << i << "\n";
  out.close();
  std::string why;
  ASSERT_EQ(k::history_load(path, why), 0) << why;
  std::vector<std::string> entries = k::history_entries();
  ASSERT_EQ(entries.size(), k::kHistoryLoadMax);
  EXPECT_EQ(entries.front(), "line 5");
  EXPECT_EQ(entries.back(), "line " + std::to_string(k::kHistoryLoadMax + 4));
}

// Files that another user could have planted are neither read nor written.
TEST_F(HistoryFile, PlantedFilesAreRefusedAndLeftAlone) {
  std::string target = dir_.file("target"), link = dir_.file("link"), open_file = dir_.file("w"),
              group_file = dir_.file("g"), fifo = dir_.file("fifo"), foreign = dir_.file("foreign");
  std::ofstream(target) << "precious\n";
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  std::ofstream(open_file) << "planted\n";
  chmod(open_file.c_str(), 0666);
  std::ofstream(group_file) << "planted\n";
  chmod(group_file.c_str(), 0620);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::ofstream(foreign) << "theirs\n";
  bool as_root = geteuid() == 0;
  if (as_root) {
    ASSERT_EQ(chown(foreign.c_str(), 65534, 65534), 0);
  }
  const std::pair<std::string, std::string> cases[] = {
      {link, "it is a symbolic link"},
      {open_file, "others may write to it"},
      {group_file, "others may write to it"},  // its group counts as others
      {fifo, "it is not a regular file"},  // and nothing waits for a writer
      {foreign, "it is owned by another user"},
  };
  k::history_add("secret");
  for (const auto& [path, reason] : cases) {
    if (path == foreign && !as_root) continue;  // only root can give a file away
    std::string why;
    EXPECT_EQ(k::history_load(path, why), -1) << path;
    EXPECT_EQ(why, reason);
    why.clear();
    EXPECT_EQ(k::history_dump(path, -1, why), -1) << path;
    EXPECT_EQ(why, reason);
    why.clear();
    EXPECT_EQ(k::history_file_touch(path, why), -1) << path;
    EXPECT_EQ(why, reason);
  }
  EXPECT_EQ(history_length, 1);  // nothing was loaded
  EXPECT_EQ(read(target), "precious\n");
  EXPECT_EQ(read(open_file), "planted\n");
  EXPECT_EQ(read(group_file), "planted\n");
  EXPECT_EQ(read(foreign), "theirs\n");
}

// A touched file is made empty and private; an existing one keeps its content and mode.
TEST_F(HistoryFile, TouchCreatesPrivatelyAndKeepsAnExistingFile) {
  std::string fresh = dir_.file("fresh"), old = dir_.file("old");
  std::ofstream(old) << "kept\n";
  chmod(old.c_str(), 0644);
  std::string why;
  ASSERT_EQ(k::history_file_touch(fresh, why), 0) << why;
  EXPECT_EQ(read(fresh), "");
  EXPECT_EQ(mode_of(fresh), 0600u);
  ASSERT_EQ(k::history_file_touch(old, why), 0) << why;
  EXPECT_EQ(read(old), "kept\n");
  EXPECT_EQ(mode_of(old), 0644u);
  EXPECT_EQ(k::history_file_touch(dir_.file("missing/file"), why), -1);
  EXPECT_EQ(why, "No such file or directory");
}

}  // namespace
