// Large result replies read straight from their text instead of through Jansson. A reply of many
// megabytes (the values of a whole table) costs Jansson several times its size in values and most
// of the time of a command; read this way it costs nothing beyond its text, which is kept once and
// made into no tree: a first pass over it checks the whole reply, and later passes print from it,
// exactly as Jansson would print it. Anything the check refuses (whatever Jansson would read
// otherwise, or not at all) is left to the caller, who reads the text with Jansson instead, so the
// output never differs, and nothing is printed of a reply before all of it is known good.
#pragma once

#include <cstdint>
#include <cstdio>
#include <forward_list>
#include <functional>
#include <string>
#include <string_view>

#include "platform/line_reader.h"

namespace k {

// Objects and arrays nested deeper than this are left to Jansson.
constexpr int kReplyMaxDepth = 512;

// One value of a reply, as far as printing needs it.
struct ReplyValue {
  enum Kind { kAbsent, kString, kInteger, kReal, kTrue, kFalse, kNull, kComposite };
  Kind kind = kAbsent;
  std::string_view string;  // kString: the text, unescaped
  int64_t integer = 0;      // kInteger
  double real = 0;          // kReal
  std::string_view json;    // kComposite: the object or array as it stands in the reply
};

// The text Jansson writes for a real number (17 significant digits, always with "." or "e").
std::string jansson_real_text(double value);

class LargeReply {
 public:
  LargeReply() = default;
  LargeReply(const LargeReply&) = delete;
  LargeReply& operator=(const LargeReply&) = delete;

  // Reads `line` as the reply to the request with id `id`. True when it is exactly that: a
  // JSON-RPC 2.0 reply with a "result", and every part of it reads as Jansson reads it (see
  // JsonCursor; besides, no name given twice in an object, nesting at most kReplyMaxDepth deep).
  // False otherwise, and nothing is kept. The reply keeps a copy of the line.
  bool load(std::string_view line, int64_t id);
  // The same for the line that `reader` handed out last: the reply takes over the reader's memory
  // that holds it instead of copying it (the reader keeps only what follows the line).
  bool load(LineReader& reader, std::string_view line, int64_t id);

  // Writes the reply as Jansson writes, indented by 4, the message {"jsonrpc", "id", "result"}
  // that the client makes of a reply.
  void write_message(FILE* to) const;

  // Calls `fn` with the "Name" and "Value" of each entry of the result's "ParameterList", in
  // order: a name that is missing or not a string is empty, a missing value kAbsent. Nothing
  // when the result holds no such list. The texts handed to `fn` stay valid until the next call
  // or the reply's end.
  void for_each_parameter(
      const std::function<void(std::string_view name, const ReplyValue& value)>& fn) const;

 private:
  // The first pass: true when `line` is the awaited reply and reads as Jansson reads it.
  bool check(std::string_view line, int64_t id);

  ByteBuffer memory_;      // holds the reply's text: a line reader's memory, or a copy
  std::string_view text_;  // the reply, once loaded
  size_t result_at_ = 0;   // where the result's value begins in text_
  int64_t id_ = 0;
  // The texts with escapes that for_each_parameter handed out, unescaped.
  mutable std::forward_list<std::string> unescaped_;
};

}  // namespace k
