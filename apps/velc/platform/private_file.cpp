#include "platform/private_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace k {

Fd open_private_file(const std::string& path, int flags, mode_t forbidden, std::string& why) {
  Fd fd(::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
  if (!fd) {
    // ENXIO: a FIFO that nobody reads, opened for writing without waiting.
    why = errno == ELOOP   ? "it is a symbolic link"
          : errno == ENXIO ? "it is not a regular file"
                           : std::strerror(errno);
    return fd;
  }
  struct stat st {};
  mode_t open_to_others = 0;
  if (fstat(fd.get(), &st) != 0) {
    why = std::strerror(errno);
  } else if (!S_ISREG(st.st_mode)) {
    why = "it is not a regular file";
  } else if (st.st_uid != geteuid()) {
    why = "it is owned by another user";
  } else if ((open_to_others = st.st_mode & forbidden) != 0) {
    why = open_to_others & (S_IWGRP | S_IWOTH) ? "others may write to it"
          : open_to_others & (S_IRGRP | S_IROTH) ? "others may read it"
                                                   : "others may execute it";
  } else {
    return fd;
  }
  return Fd();
}

std::optional<std::string> read_private_file(const std::string& path, mode_t forbidden,
                                             std::string& why) {
  Fd fd = open_private_file(path, O_RDONLY, forbidden, why);
  if (!fd) return std::nullopt;
  std::string text;
  char chunk[8192];
  for (;;) {
    ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      why = std::strerror(errno);
      return std::nullopt;
    }
    if (n == 0) return text;
    text.append(chunk, static_cast<size_t>(n));
  }
}

}  // namespace k
