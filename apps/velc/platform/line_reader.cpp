#include "platform/line_reader.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace k {

void ByteBuffer::reserve(size_t n) {
  if (n <= capacity_) return;
  void* p = std::realloc(data_, n);
  if (!p) throw std::bad_alloc();
  data_ = static_cast<char*>(p);
  capacity_ = n;
}

void ByteBuffer::append(const char* bytes, size_t n) {
  if (n == 0) return;
  reserve(size_ + n);
  std::memcpy(data_ + size_, bytes, n);
  size_ += n;
}

void ByteBuffer::drop_front(size_t n) {
  n = std::min(n, size_);
  if (n < size_) std::memmove(data_, data_ + n, size_ - n);
  size_ -= n;
}

void ByteBuffer::release() {
  std::free(data_);
  data_ = nullptr;
  size_ = capacity_ = 0;
}

void LineReader::feed(const char* data, size_t n) {
  // Drop what was handed out once it is the larger part, so the buffer does not grow without
  // bound on a long-lived connection and no byte is moved more than a constant number of times.
  if (start_ > 0 && start_ >= buf_.size() / 2) {
    buf_.drop_front(start_);
    start_ = 0;
  }
  if (buf_.capacity() < buf_.size() + n)
    buf_.reserve(std::max(2 * buf_.capacity(), buf_.size() + n));
  buf_.append(data, n);
}

bool LineReader::has_line() {
  const char* base = buf_.data() + start_;
  size_t avail = buf_.size() - start_;
  if (scanned_ < avail && std::memchr(base + scanned_, '\n', avail - scanned_)) return true;
  scanned_ = avail;
  return false;
}

std::optional<std::string_view> LineReader::next_line() {
  const char* base = buf_.data() + start_;
  size_t avail = buf_.size() - start_;
  const void* nl = scanned_ < avail ? std::memchr(base + scanned_, '\n', avail - scanned_) : nullptr;
  if (!nl) {
    scanned_ = avail;
    return std::nullopt;
  }
  size_t len = static_cast<const char*>(nl) - base;
  start_ += len + 1;
  scanned_ = 0;
  return std::string_view(base, len);
}

size_t LineReader::take_line_part(char* out, size_t max, bool& line_end) {
  const char* base = buf_.data() + start_;
  size_t n = std::min(max, buf_.size() - start_);
  if (const void* nl = std::memchr(base, '\n', n)) {
    n = static_cast<size_t>(static_cast<const char*>(nl) - base) + 1;
    line_end = true;
  }
  std::memcpy(out, base, n);
  start_ += n;
  scanned_ = scanned_ > n ? scanned_ - n : 0;
  return n;
}

bool LineReader::skip_line_rest() {
  if (next_line()) return true;
  start_ = buf_.size();
  scanned_ = 0;
  return false;
}

void LineReader::trim() {
  constexpr size_t kKeep = 1 << 20;
  if (start_ == buf_.size() && buf_.capacity() > kKeep) {
    buf_.release();
    start_ = 0;
    scanned_ = 0;
  }
}

ByteBuffer LineReader::take_handed_out() {
  ByteBuffer taken = std::move(buf_);
  buf_.append(taken.data() + start_, taken.size() - start_);
  start_ = 0;
  return taken;
}

void LineReader::clear() {
  buf_.clear();
  start_ = 0;
  scanned_ = 0;
}

}  // namespace k
