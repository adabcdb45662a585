// Test support: a private temporary folder for the files and sockets of one test.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

namespace k::test {

// A fresh folder under the system's temporary folder ($TMPDIR, else /tmp), made by mkdtemp: its
// name is new, so that tests running side by side never share one, and only its owner may enter
// it. It is removed with everything in it when the object goes. Throws when it cannot be made,
// which fails the test that asked for it.
class TempDir {
 public:
  TempDir() {
    std::string name = (std::filesystem::temp_directory_path() / "velc-test-XXXXXX").string();
    if (!::mkdtemp(name.data()))
      throw std::runtime_error("cannot make a temporary folder " + name + ": " + std::strerror(errno));
    path_ = std::move(name);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder's absolute path.
  const std::string& path() const { return path_; }
  // The path of an entry `name` in the folder.
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace k::test
