#include "lua/text_buffer.h"

void TextBuffer::reset(int width) {
  text_.clear();  // keeps the memory for the next rendering
  column_ = 0;
  indent_ = 0;
  width_ = width;
}

void TextBuffer::ensure_room(size_t n) {
  if (text_.size() + n >= text_.capacity()) text_.reserve(text_.size() + n);
}

void TextBuffer::new_line() {
  ensure_room(1 + static_cast<size_t>(indent_));
  text_.push_back('\n');
  text_.append(static_cast<size_t>(indent_), ' ');
  column_ = indent_;
}

void TextBuffer::append_wrapped(std::string_view piece) {
  const int v = visible_length(piece);
  if (column_ + v > width_ && indent_ + v <= width_) new_line();
  ensure_room(piece.size());
  text_.append(piece);
  column_ += v;
}

void TextBuffer::append_direct(std::string_view piece) {
  ensure_room(piece.size());
  text_.append(piece);
  column_ += visible_length(piece);
}

int visible_length(std::string_view piece) {
  int n = 0;
  bool in_escape = false;
  for (char c : piece) {
    if (c == '\0') break;
    if (in_escape) {
      in_escape = c != 'm';
    } else if (c == '\x1b') {
      in_escape = true;
    } else {
      ++n;
    }
  }
  return n;
}
