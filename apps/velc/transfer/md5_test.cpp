// The file digest that `download` sends with a file.
#include "transfer/md5.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "testing/temp_dir.h"

namespace {

TEST(Md5, RegionsOfAFile) {
  k::test::TempDir dir;
  std::string path = dir.file("f");
  std::ofstream(path) << std::string(100000, 'x') << "abc";  // more than one read
  const struct {
    std::string path;
    int64_t offset, length;
    const char* hex;  // none: fails, leaving the text alone
  } cases[] = {
      {path, 100000, 3, "900150983cd24fb0d6963f7d28e17f72"},   // "abc"
      {path, 5, 0, "d41d8cd98f00b204e9800998ecf8427e"},        // nothing
      {path, 100001, 3, nullptr},                               // past the end
      {dir.path(), 0, -1, nullptr},  // not a regular file
  };
  for (const auto& c : cases) {
    std::string hex = "untouched";
    EXPECT_EQ(k::md5_file_region(c.path, c.offset, c.length, hex), c.hex ? 0 : -1) << c.offset;
    EXPECT_EQ(hex, c.hex ? c.hex : "untouched") << c.offset;
  }
}

}  // namespace
