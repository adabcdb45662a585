#include "transfer/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/socket.h"

namespace k {

MappedFile::MappedFile(MappedFile&& o) noexcept
    : data_(std::exchange(o.data_, nullptr)),
      size_(std::exchange(o.size_, 0)),
      open_(std::exchange(o.open_, false)) {}

MappedFile& MappedFile::operator=(MappedFile&& o) noexcept {
  if (this != &o) {
    close();
    data_ = std::exchange(o.data_, nullptr);
    size_ = std::exchange(o.size_, 0);
    open_ = std::exchange(o.open_, false);
  }
  return *this;
}

bool MappedFile::open(const std::string& path) {
  close();
  // Without waiting: opening a FIFO would otherwise block until a writer comes.
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd) return false;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return false;
  if (!S_ISREG(st.st_mode)) {
    errno = EINVAL;
    return false;
  }
  size_t size = static_cast<size_t>(st.st_size);
  if (size > 0) {
    // The descriptor may go at once: the mapping keeps the file.
    void* p = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd.get(), 0);
    if (p == MAP_FAILED) return false;
    data_ = p;
  }
  size_ = size;
  open_ = true;
  return true;
}

void MappedFile::drop_pages(size_t offset, size_t length) {
  if (!data_ || offset >= size_) return;
  ::madvise(static_cast<char*>(data_) + offset, std::min(length, size_ - offset), MADV_DONTNEED);
}

void MappedFile::close() {
  if (data_) ::munmap(data_, size_);
  data_ = nullptr;
  size_ = 0;
  open_ = false;
}

}  // namespace k
