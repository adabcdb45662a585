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
// latest ones privately; touching makes an empty private file and leaves an existing one alone.
TEST_F(HistoryFile, LoadDumpAndTouch) {
  std::string old = dir_.file("old"), fresh = dir_.file("fresh"), touched = dir_.file("t");
  std::ofstream(old) << "cd Device\n\nls -l\ncat";
  chmod(old.c_str(), 0644);
  ASSERT_EQ(k::history_load(old, why_), 0) << why_;
  k::history_add("pwd");
  ASSERT_EQ(k::history_file_touch(old, why_), 0) << why_;
  EXPECT_EQ(mode_of(old), 0644u);
  ASSERT_EQ(k::history_dump(old, 3, why_), 0) << why_;
  EXPECT_EQ(read(old), "ls -l\ncat\npwd\n");
  EXPECT_EQ(mode_of(old), 0600u);  // an existing file is tightened
  ASSERT_EQ(k::history_dump(fresh, -1, why_), 0) << why_;
  EXPECT_EQ(read(fresh), "cd Device\nls -l\ncat\npwd\n");
  ASSERT_EQ(k::history_file_touch(touched, why_), 0) << why_;
  EXPECT_EQ(read(touched), "");
  for (const std::string& f : {fresh, touched}) EXPECT_EQ(mode_of(f), 0600u) << f;
  EXPECT_EQ(k::history_file_touch(dir_.file("missing/file"), why_), -1);
  EXPECT_EQ(why_, "No such file or directory");

  std::ofstream out(fresh);
  for (size_t i = 0; i < k::kHistoryLoadMax + 5; ++i) out << "line " << i << "\n";
  out.close();
  k::history_clear();
  ASSERT_EQ(k::history_load(fresh, why_), 0) << why_;
  std::vector<std::string> entries = k::history_entries();
  ASSERT_EQ(entries.size(), k::kHistoryLoadMax);
  EXPECT_EQ(entries.front(), "line 5");
  EXPECT_EQ(entries.back(), "line " + std::to_string(k::kHistoryLoadMax + 4));
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
  for (auto [name, mode] : {std::pair{"w", 0666}, {"g", 0620}, {"target", 0600}}) {
    std::ofstream(dir_.file(name)) << "planted\n";
    chmod(dir_.file(name).c_str(), mode);
  }
  std::ofstream(foreign) << "planted\n";
  if (geteuid() == 0 && chown(foreign.c_str(), 65534, 65534) == 0)  // only root gives files away
    cases.push_back({foreign, "it is owned by another user"});
  k::history_add("secret");
  for (const auto& [path, reason] : cases) {
    for (int (*check)(const std::string&, std::string&) :
         {+[](const std::string& p, std::string& w) { return k::history_load(p, w); },
          +[](const std::string& p, std::string& w) { return k::history_dump(p, -1, w); },
          +[](const std::string& p, std::string& w) { return k::history_file_touch(p, w); }}) {
      std::string why;
      EXPECT_EQ(check(path, why), -1) << path;
      EXPECT_EQ(why, reason) << path;
    }
  }
  EXPECT_EQ(history_length, 1);  // nothing was loaded
  for (const char* name : {"target", "w", "g", "foreign"})
    EXPECT_EQ(read(dir_.file(name)), "planted\n") << name;
}

}  // namespace
