#include "platform/large_reply.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/json_cursor.h"

namespace k {

namespace {

// The first pass over a reply: everything in it reads as Jansson reads it (the cursor sees to
// the tokens; here, no name is given twice in one object, since Jansson keeps the last, and the
// nesting stays within kReplyMaxDepth), and the top object is the awaited reply: "jsonrpc" "2.0",
// the awaited integer "id", a "result", and neither "error" nor "method".
class ReplyCheck {
 public:
  ReplyCheck(std::string_view text, int64_t id) : cursor_(text), id_(id) {}

  // True when the whole text passes; result_at() then tells where the result begins.
  bool run() {
    return cursor_.peek() == JsonCursor::kObject && object(1) && cursor_.at_end() && version_ &&
           id_seen_ && result_at_ != kNone;
  }
  size_t result_at() const { return result_at_; }

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);

  // The value at the cursor, inside `depth` objects and arrays.
  bool value(int depth) {
    std::string_view text;
    JsonNumber number;
    switch (cursor_.peek()) {
      case JsonCursor::kObject: return depth < kReplyMaxDepth && object(depth + 1);
      case JsonCursor::kArray: {
        if (depth >= kReplyMaxDepth) return false;
        cursor_.enter();
        bool first = true;
        while (cursor_.next_element(first))
          if (!value(depth + 1)) return false;
        return !cursor_.failed();
      }
      case JsonCursor::kString: return cursor_.string(text, scratch_);
      case JsonCursor::kNumber: return cursor_.number(number);
      case JsonCursor::kTrue:
      case JsonCursor::kFalse:
      case JsonCursor::kNull: return cursor_.literal();
      default: return false;
    }
  }

  // An object at `depth` (the top one at 1). Its names stand above the enclosing objects' in
  // names_; a large object also gets a set of them.
  bool object(int depth) {
    cursor_.enter();
    size_t base = names_.size();
    std::unique_ptr<std::unordered_set<std::string_view>> many;  // made for a large object only
    bool first = true;
    std::string_view name;
    while (cursor_.next_member(first, name, scratch_)) {
      if (!scratch_.empty()) {
        unescaped_.push_front(scratch_);
        name = unescaped_.front();
      }
      if (names_.size() - base < kFewNames) {
        if (std::find(names_.begin() + base, names_.end(), name) != names_.end()) return false;
      } else {
        if (!many)
          many = std::make_unique<std::unordered_set<std::string_view>>(names_.begin() + base,
                                                                         names_.end());
        if (!many->insert(name).second) return false;
      }
      names_.push_back(name);
      if (!(depth == 1 ? envelope_member(name) : value(depth))) return false;
    }
    names_.resize(base);
    return !cursor_.failed();
  }

  // A member of the top object: those of the envelope are checked as such, the result and any
  // other member as a value.
  bool envelope_member(std::string_view name) {
    std::string_view text;
    JsonNumber number;
    if (name == "error" || name == "method") return false;
    if (name == "jsonrpc") {
      version_ = cursor_.peek() == JsonCursor::kString && cursor_.string(text, scratch_) &&
                 text == "2.0";
      return version_;
    }
    if (name == "id") {
      id_seen_ = cursor_.peek() == JsonCursor::kNumber && cursor_.number(number) &&
                 !number.real && number.integer == id_;
      return id_seen_;
    }
    if (name == "result") {
      cursor_.peek();
      result_at_ = cursor_.offset();
    }
    return value(1);
  }

  // Objects of up to this many names (the entries of a list) are checked without a set.
  static constexpr size_t kFewNames = 8;

  JsonCursor cursor_;
  int64_t id_;
  std::string scratch_;
  std::vector<std::string_view> names_;          // of the objects being read, outermost first
  std::forward_list<std::string> unescaped_;     // names given with escapes, unescaped
  bool version_ = false;
  bool id_seen_ = false;
  size_t result_at_ = kNone;
};

// Output gathered in blocks, so that writing a large reply makes few calls.
class Writer {
 public:
  explicit Writer(FILE* to) : to_(to) {}
  ~Writer() { flush(); }
  void put(std::string_view s) {
    if (s.size() > sizeof buffer_ - used_) {
      flush();
      if (s.size() > sizeof buffer_) {
        std::fwrite(s.data(), 1, s.size(), to_);
        return;
      }
    }
    std::memcpy(buffer_ + used_, s.data(), s.size());
    used_ += s.size();
  }
  void put(char c) {
    if (used_ == sizeof buffer_) flush();
    buffer_[used_++] = c;
  }
  void flush() {
    std::fwrite(buffer_, 1, used_, to_);
    used_ = 0;
  }

 private:
  FILE* to_;
  size_t used_ = 0;
  char buffer_[1 << 16]{};
};

// A text in quotes, escaped as Jansson escapes it: '"', '\\' and the characters below 0x20.
// `plain`: the text stood in the reply without an escape, so it holds none of these.
void put_string(Writer& w, std::string_view s, bool plain) {
  w.put('"');
  size_t run = 0;
  for (size_t i = 0; i < s.size() && !plain; ++i) {
    auto c = static_cast<unsigned char>(s[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    w.put(s.substr(run, i - run));
    switch (c) {
      case '"': w.put("\\\""); break;
      case '\\': w.put("\\\\"); break;
      case '\b': w.put("\\b"); break;
      case '\f': w.put("\\f"); break;
      case '\n': w.put("\\n"); break;
      case '\r': w.put("\\r"); break;
      case '\t': w.put("\\t"); break;
      default: {
        char seq[8];
        std::snprintf(seq, sizeof seq, "\\u%04X", c);
        w.put(seq);
      }
    }
    run = i + 1;
  }
  w.put(s.substr(run));
  w.put('"');
}

// A line break and the indent of `depth`.
void put_indent(Writer& w, int depth) {
  static constexpr char kIndent[] = "\n                                ";  // 8 levels
  constexpr int kLevels = (sizeof kIndent - 2) / 4;
  w.put(std::string_view(kIndent, 1 + 4 * std::min(depth, kLevels)));
  for (int i = kLevels; i < depth; ++i) w.put("    ");
}

// The value at the cursor as Jansson's dump with JSON_INDENT(4) writes it at `depth`.
void put_value(Writer& w, JsonCursor& c, int depth, std::string& scratch) {
  bool first = true, opened = false;
  std::string_view text;
  JsonNumber number;
  switch (c.peek()) {
    case JsonCursor::kObject:
      c.enter();
      while (c.next_member(first, text, scratch)) {
        w.put(std::exchange(opened, true) ? ',' : '{');
        put_indent(w, depth + 1);
        put_string(w, text, scratch.empty());
        w.put(": ");
        put_value(w, c, depth + 1, scratch);
      }
      if (!opened) return w.put("{}");
      put_indent(w, depth);
      return w.put('}');
    case JsonCursor::kArray:
      c.enter();
      while (c.next_element(first)) {
        w.put(std::exchange(opened, true) ? ',' : '[');
        put_indent(w, depth + 1);
        put_value(w, c, depth + 1, scratch);
      }
      if (!opened) return w.put("[]");
      put_indent(w, depth);
      return w.put(']');
    case JsonCursor::kString:
      c.string(text, scratch);
      return put_string(w, text, scratch.empty());
    case JsonCursor::kNumber:
      c.number(number);
      return w.put(number.real ? jansson_real_text(number.value) : std::to_string(number.integer));
    case JsonCursor::kTrue: c.literal(); return w.put("true");
    case JsonCursor::kFalse: c.literal(); return w.put("false");
    default: c.literal(); return w.put("null");
  }
}

// The value at the cursor as for_each_parameter hands it out; texts with escapes are kept in
// `unescaped`.
void read_value(JsonCursor& c, ReplyValue& value, std::string& scratch,
                std::forward_list<std::string>& unescaped) {
  JsonNumber number;
  size_t start = c.offset();
  switch (c.peek()) {
    case JsonCursor::kString:
      value.kind = ReplyValue::kString;
      c.string(value.string, scratch);
      if (!scratch.empty()) value.string = unescaped.emplace_front(std::move(scratch));
      return;
    case JsonCursor::kNumber:
      c.number(number);
      value.kind = number.real ? ReplyValue::kReal : ReplyValue::kInteger;
      value.integer = number.integer;
      value.real = number.value;
      return;
    case JsonCursor::kTrue: c.literal(); value.kind = ReplyValue::kTrue; return;
    case JsonCursor::kFalse: c.literal(); value.kind = ReplyValue::kFalse; return;
    case JsonCursor::kNull: c.literal(); value.kind = ReplyValue::kNull; return;
    default:
      c.skip();
      value.kind = ReplyValue::kComposite;
      value.json = c.text_since(start);
      return;
  }
}

}  // namespace

std::string jansson_real_text(double value) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  std::string text = buffer;
  // A real always shows as one ("1.0", not "1"); exponents lose their "+" and leading zeros.
  if (text.find_first_of(".e") == std::string::npos) text += ".0";
  if (size_t e = text.find('e'); e != std::string::npos) {
    size_t digits = e + 1;
    if (text[digits] == '+')
      text.erase(digits, 1);
    else if (text[digits] == '-')
      ++digits;
    size_t zeros = digits;
    while (zeros + 1 < text.size() && text[zeros] == '0') ++zeros;
    text.erase(digits, zeros - digits);
  }
  return text;
}

bool LargeReply::check(std::string_view line, int64_t id) {
  ReplyCheck check(line, id);
  text_ = {};
  unescaped_.clear();
  if (!check.run()) return false;
  text_ = line;
  result_at_ = check.result_at();
  id_ = id;
  return true;
}

bool LargeReply::load(std::string_view line, int64_t id) {
  memory_.release();
  if (!check(line, id)) return false;
  memory_.append(line.data(), line.size());
  text_ = std::string_view(memory_.data(), line.size());
  return true;
}

bool LargeReply::load(LineReader& reader, std::string_view line, int64_t id) {
  memory_.release();
  if (!check(line, id)) return false;
  memory_ = reader.take_handed_out();
  return true;
}

void LargeReply::write_message(FILE* to) const {
  if (text_.empty()) return;
  Writer w(to);
  w.put("{\n    \"jsonrpc\": \"2.0\",\n    \"id\": ");
  w.put(std::to_string(id_));
  w.put(",\n    \"result\": ");
  JsonCursor c(text_);
  c.seek(result_at_);
  std::string scratch;
  put_value(w, c, 1, scratch);
  w.put("\n}");
}

void LargeReply::for_each_parameter(
    const std::function<void(std::string_view name, const ReplyValue& value)>& fn) const {
  unescaped_.clear();
  if (text_.empty()) return;
  JsonCursor c(text_);
  c.seek(result_at_);
  if (c.peek() != JsonCursor::kObject) return;
  c.enter();
  bool first = true;
  std::string_view member;
  std::string scratch;
  for (;;) {  // to the result's "ParameterList" (the check made sure there is one at most)
    if (!c.next_member(first, member, scratch)) return;
    if (member == "ParameterList") break;
    c.skip();
  }
  if (c.peek() != JsonCursor::kArray) return;
  c.enter();
  first = true;
  while (c.next_element(first)) {
    std::string_view name;
    ReplyValue value;
    if (c.peek() == JsonCursor::kObject) {
      c.enter();
      bool first_member = true;
      while (c.next_member(first_member, member, scratch)) {
        if (member == "Name" && c.peek() == JsonCursor::kString) {
          c.string(name, scratch);
          if (!scratch.empty()) name = unescaped_.emplace_front(std::move(scratch));
        } else if (member == "Value") {
          read_value(c, value, scratch, unescaped_);
        } else {
          c.skip();
        }
      }
    } else {
      c.skip();
    }
    fn(name, value);
  }
}

}  // namespace k
