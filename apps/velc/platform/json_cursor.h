// A pull reader of JSON text: a cursor that steps through the values of a text where it lies,
// building nothing of it. It reads only what Jansson's parser reads, and reads it the same way:
// white space, escapes, UTF-8 (overlong forms and surrogates refused), numbers in JSON's grammar,
// integers within 64 bits and reals that do not overflow. It refuses a little more than Jansson
// (see number), never less, so that a text it reads whole means to Jansson what it means to the
// cursor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace k {

// A number as read: an integer (no "." and no exponent) or a real.
struct JsonNumber {
  bool real = false;
  int64_t integer = 0;
  double value = 0;
};

class JsonCursor {
 public:
  enum Kind { kBad, kObject, kArray, kString, kNumber, kTrue, kFalse, kNull };

  explicit JsonCursor(std::string_view text)
      : begin_(text.data()), p_(text.data()), end_(text.data() + text.size()) {}

  // The kind of the value at the cursor, told by its first byte after white space; kBad at the
  // end of the text or on a byte that starts no value.
  Kind peek() {
    skip_space();
    if (p_ == end_) return kBad;
    switch (*p_) {
      case '{': return kObject;
      case '[': return kArray;
      case '"': return kString;
      case 't': return kTrue;
      case 'f': return kFalse;
      case 'n': return kNull;
      default: return *p_ == '-' || is_digit(p_, end_) ? kNumber : kBad;
    }
  }
  // Steps into the object or array at the cursor, whose members or elements then follow.
  void enter() { ++p_; }
  // Steps to the next member of the object entered: true with its name read and the ":" after
  // it passed, the cursor on its value; false past the closing "}" (or on an error). `first`
  // starts true for each object.
  bool next_member(bool& first, std::string_view& name, std::string& scratch);
  // Steps to the next element of the array entered: true with the cursor on it; false past the
  // closing "]" (or on an error).
  bool next_element(bool& first) {
    skip_space();
    if (p_ == end_) return fail();
    if (*p_ == ']') {
      ++p_;
      return false;
    }
    if (!first) {
      if (*p_ != ',') return fail();
      ++p_;
    }
    first = false;
    return true;
  }
  // Reads a string. Its text is a view of the JSON text when it has no escape; otherwise it is
  // unescaped into `scratch`, which is left empty when there is none. Refuses an invalid escape,
  // "\u0000" (Jansson refuses it), a lone surrogate, a control character and invalid UTF-8.
  bool string(std::string_view& text, std::string& scratch);
  // Reads a number. Refuses an integer beyond 64 bits and a real too large for a double, as
  // Jansson does, and also a nonzero real that rounds to zero (Jansson reads it as 0.0).
  bool number(JsonNumber& out);
  // Reads "true", "false" or "null", as peek said.
  bool literal();
  // Steps over the value at the cursor without checking it: for texts read whole once already.
  void skip();
  // True when nothing but white space is left.
  bool at_end();
  // True once a read was refused.
  bool failed() const { return failed_; }
  // Where the cursor stands, as an offset into the text; seek goes back there.
  size_t offset() const { return static_cast<size_t>(p_ - begin_); }
  void seek(size_t offset) { p_ = begin_ + offset; }
  // The text between `from` and the cursor.
  std::string_view text_since(size_t from) const { return {begin_ + from, offset() - from}; }

 private:
  bool fail() {
    failed_ = true;
    return false;
  }
  static bool is_digit(const char* p, const char* end) {
    return p < end && *p >= '0' && *p <= '9';
  }
  void skip_space() {
    while (p_ < end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t')) ++p_;
  }
  bool escape(std::string& scratch);
  void skip_string();

  const char* begin_;
  const char* p_;
  const char* end_;
  bool failed_ = false;
};

}  // namespace k
