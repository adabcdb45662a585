#include "transfer/md5.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "platform/socket.h"

namespace k {

namespace {

struct DigestFree {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

constexpr size_t kChunk = 64 * 1024;

}  // namespace

int md5_file_region(const std::string& path, int64_t offset, int64_t length, std::string& hex) {
  if (offset < 0 || length < -1) return -1;
  // Without waiting: opening a FIFO would otherwise block until a writer comes.
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd) return -1;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  if (offset > st.st_size) return -1;
  int64_t left = length == -1 ? st.st_size - offset : length;
  if (offset + left > st.st_size) return -1;

  std::unique_ptr<EVP_MD_CTX, DigestFree> ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1) return -1;
  auto buf = std::make_unique<unsigned char[]>(kChunk);
  off_t at = static_cast<off_t>(offset);
  while (left > 0) {
    size_t want = left < static_cast<int64_t>(kChunk) ? static_cast<size_t>(left) : kChunk;
    ssize_t got = ::pread(fd.get(), buf.get(), want, at);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return -1;  // an error, or the file shrank meanwhile
    if (EVP_DigestUpdate(ctx.get(), buf.get(), static_cast<size_t>(got)) != 1) return -1;
    at += got;
    left -= got;
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (EVP_DigestFinal_ex(ctx.get(), digest, &n) != 1) return -1;
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (unsigned int i = 0; i < n; ++i) {
    text += kDigits[digest[i] >> 4];
    text += kDigits[digest[i] & 0xf];
  }
  hex = std::move(text);
  return 0;
}

}  // namespace k
