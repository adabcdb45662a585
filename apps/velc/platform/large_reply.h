// Large result replies read with simdjson instead of Jansson. A reply of many megabytes (the
// values of a whole table) costs Jansson several times its size in values and most of the time
// of a command; read this way it costs about its size once, and it prints exactly as Jansson
// would print it. Anything the fast reading cannot render exactly as Jansson does is refused,
// and the caller reads the text with Jansson instead, so the output never differs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace k {

// One value of a reply, as far as printing needs it.
struct ReplyValue {
  enum Kind { kAbsent, kString, kInteger, kReal, kTrue, kFalse, kNull, kComposite };
  Kind kind = kAbsent;
  std::string_view string;  // kString: the text, unescaped
  int64_t integer = 0;      // kInteger
  double real = 0;          // kReal
  std::string json;         // kComposite: the object or array as compact JSON text
};

// The text Jansson writes for a real number (17 significant digits, always with "." or "e").
std::string jansson_real_text(double value);

class LargeReply {
 public:
  LargeReply();
  ~LargeReply();
  LargeReply(const LargeReply&) = delete;
  LargeReply& operator=(const LargeReply&) = delete;

  // Reads `line` as the reply to the request with id `id`. True when it is exactly that: a
  // JSON-RPC 2.0 reply with a "result", and every part of it reads as Jansson reads it (no name
  // given twice in an object, no "\u0000", integers within 64 bits, nesting within simdjson's
  // limit). False otherwise, and nothing is kept. `padded`: at least 64 readable bytes follow
  // the line in memory, so that it is read in place instead of copied.
  bool load(std::string_view line, int64_t id, bool padded = false);

  // Writes the reply as Jansson writes, indented by 4, the message {"jsonrpc", "id", "result"}
  // that the client makes of a reply.
  void write_message(FILE* to) const;

  // Calls `fn` with the "Name" and "Value" of each entry of the result's "ParameterList", in
  // order: a name that is missing or not a string is empty, a missing value kAbsent. Nothing
  // when the result holds no such list.
  void for_each_parameter(
      const std::function<void(std::string_view name, const ReplyValue& value)>& fn) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace k
