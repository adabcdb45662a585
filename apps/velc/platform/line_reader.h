// Framing of the veld protocol: one JSON message per line. The reader collects the bytes of a
// stream and hands out complete lines; every byte is scanned once, so reading a reply of tens of
// megabytes stays linear in its size.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace k {

// Bytes in memory from malloc that grows with realloc: a buffer of megabytes then grows in
// place, or by moving its pages (mremap), instead of being copied into fresh memory at every
// doubling.
class ByteBuffer {
 public:
  ByteBuffer() = default;
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;
  ByteBuffer(ByteBuffer&& o) noexcept
      : data_(std::exchange(o.data_, nullptr)),
        size_(std::exchange(o.size_, 0)),
        capacity_(std::exchange(o.capacity_, 0)) {}
  ByteBuffer& operator=(ByteBuffer&& o) noexcept {
    std::swap(data_, o.data_);
    std::swap(size_, o.size_);
    std::swap(capacity_, o.capacity_);
    return *this;
  }
  ~ByteBuffer() { std::free(data_); }

  char* data() const { return data_; }
  size_t size() const { return size_; }
  size_t capacity() const { return capacity_; }
  // Makes room for `n` bytes in all; throws std::bad_alloc when there is none.
  void reserve(size_t n);
  void append(const char* bytes, size_t n);
  // Drops the first `n` bytes.
  void drop_front(size_t n);
  void clear() { size_ = 0; }
  // Gives the memory back.
  void release();

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

class LineReader {
 public:
  // Appends bytes read from the peer.
  void feed(const char* data, size_t n);
  // The next complete line without its "\n" (a trailing "\r" is kept), or none. The view stays
  // valid until the next call of feed or next_line.
  std::optional<std::string_view> next_line();
  // Moves up to `max` bytes of the current line into `out`, stopping after its "\n"; sets
  // `line_end` when the "\n" was moved. For parsing a line while it arrives.
  size_t take_line_part(char* out, size_t max, bool& line_end);
  // Drops the bytes of the current line up to and including its "\n"; false when the "\n" has
  // not arrived yet (everything held was dropped).
  bool skip_line_rest();
  // True when a complete line is waiting.
  bool has_line();
  // Bytes held that do not yet form a complete line.
  size_t pending_bytes() const { return buf_.size() - start_; }
  void clear();
  // Hands over the memory that holds the lines handed out so far, whose views stay valid in it;
  // the bytes not handed out yet stay with the reader, in memory of its own. For a reply of many
  // megabytes that is read from its text after the reader moved on.
  ByteBuffer take_handed_out();
  // Gives a large buffer's memory back once everything in it was handed out (after a reply of
  // many megabytes, so the client does not keep that much for the rest of its run).
  void trim();

 private:
  ByteBuffer buf_;
  size_t start_ = 0;    // first byte not yet handed out
  size_t scanned_ = 0;  // bytes from start_ on already known to hold no "\n"
};

}  // namespace k
