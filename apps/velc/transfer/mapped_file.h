// A file mapped read-only into memory for as long as its holder lives: the file sender of
// `download` hands veld the bytes straight from the mapping.
#pragma once

#include <cstddef>
#include <string>

namespace k {

// A step through a mapped file that keeps to whole pages.
inline constexpr size_t kMappedFileStep = size_t{4} << 20;

class MappedFile {
 public:
  MappedFile() = default;
  MappedFile(MappedFile&& o) noexcept;
  MappedFile& operator=(MappedFile&& o) noexcept;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile() { close(); }

  // Maps the whole regular file at `path` (replacing what was mapped before). False, with
  // nothing mapped and errno set, when it cannot be opened, is not a regular file or cannot be
  // mapped. An empty file is open with size 0 and no memory.
  bool open(const std::string& path);
  // Unmaps the file.
  void close();
  // Gives back the memory of the pages of [offset, offset + length) that were read (the file and
  // the system's cache of it keep them), so that going once through a large file does not make
  // the process as large as the file. `offset` is a multiple of kMappedFileStep.
  void drop_pages(size_t offset, size_t length);

  bool is_open() const { return open_; }
  const char* data() const { return static_cast<const char*>(data_); }
  size_t size() const { return size_; }

 private:
  void* data_ = nullptr;
  size_t size_ = 0;
  bool open_ = false;
};

}  // namespace k
