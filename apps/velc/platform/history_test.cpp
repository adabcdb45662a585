#include "platform/history.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <readline/history.h>

namespace {

// A private folder for the history files of one test; the history is empty at start and end.
class HistoryFile : public testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velc-history-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    path_ = dir_ + "/hist";
    k::history_clear();
  }
  void TearDown() override {
    k::history_clear();
    std::system(("rm -rf '" + dir_ + "'").c_str());
  }
  static std::string read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static void write(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
  }
  static mode_t mode_of(const std::string& path) {
    struct stat st {};
    lstat(path.c_str(), &st);
    return st.st_mode & 07777;
  }

  std::string dir_;
  std::string path_;
};

TEST_F(HistoryFile, DumpCreatesPrivateFileWithAllEntries) {
  k::history_add("cd Device");
  k::history_add("ls");
  ASSERT_EQ(k::history_dump(path_, -1), 0);
  EXPECT_EQ(read(path_), "cd Device\nls\n");
  EXPECT_EQ(mode_of(path_), 0600u);
}

TEST_F(HistoryFile, DumpTightensModeOfExistingFile) {
  write(path_, "old\n");
  chmod(path_.c_str(), 0644);
  k::history_add("pwd");
  ASSERT_EQ(k::history_dump(path_, -1), 0);
  EXPECT_EQ(read(path_), "pwd\n");
  EXPECT_EQ(mode_of(path_), 0600u);
}

TEST_F(HistoryFile, DumpWritesLatestEntries) {
  for (const char* line : {"a", "b", "c"}) k::history_add(line);
  struct {
    int count;
    const char* text;
  } cases[] = {{2, "b\nc\n"}, {0, ""}, {5, "a\nb\nc\n"}, {-1, "a\nb\nc\n"}};
  for (const auto& c : cases) {
    ASSERT_EQ(k::history_dump(path_, c.count), 0);
    EXPECT_EQ(read(path_), c.text) << c.count;
  }
}

TEST_F(HistoryFile, SymbolicLinkIsNeverFollowed) {
  std::string target = dir_ + "/target";
  write(target, "precious\n");
  ASSERT_EQ(symlink(target.c_str(), path_.c_str()), 0);
  k::history_add("secret");
  EXPECT_EQ(k::history_dump(path_, -1), -1);
  EXPECT_EQ(read(target), "precious\n");
  EXPECT_EQ(k::history_load(path_), -1);
  EXPECT_EQ(history_length, 1);  // nothing loaded through the link
}

TEST_F(HistoryFile, LoadAppendsEntriesAndSkipsEmptyLines) {
  EXPECT_EQ(k::history_load(dir_ + "/missing"), 0);
  EXPECT_EQ(history_length, 0);
  write(path_, "cd Device\n\nls -l\ncat");
  ASSERT_EQ(k::history_load(path_), 0);
  ASSERT_EQ(history_length, 3);
  EXPECT_STREQ(history_get(history_base + 2)->line, "cat");
}

TEST_F(HistoryFile, LoadKeepsLatestEntriesOnly) {
  std::string text;
  for (size_t i = 0; i < k::kHistoryLoadMax + 5; ++i) text += "line " + std::to_string(i) + "\n";
  write(path_, text);
  ASSERT_EQ(k::history_load(path_), 0);
  ASSERT_EQ(history_length, static_cast<int>(k::kHistoryLoadMax));
  EXPECT_STREQ(history_get(history_base)->line, "line 5");
}

}  // namespace
