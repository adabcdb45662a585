#include "platform/large_reply.h"

#include <simdjson.h>

#include "platform/line_reader.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <utility>

namespace k {

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

// The value of a result whose type was checked already.
template <typename T, typename Result>
T checked(Result&& result) {
  T value{};
  if (std::forward<Result>(result).get(value) != simdjson::SUCCESS) return T{};
  return value;
}

// Everything in `e` reads as Jansson reads it: no name twice in one object (Jansson keeps the
// last), no "\u0000" in a text (Jansson refuses it), no integer beyond the signed 64-bit range
// (Jansson refuses those as well).
bool jansson_reads_alike(element e) {
  switch (e.type()) {
    case element_type::UINT64:
      return false;
    case element_type::STRING: {
      std::string_view s;
      s = checked<decltype(s)>(e.get_string());
      return std::memchr(s.data(), '\0', s.size()) == nullptr;
    }
    case element_type::ARRAY: {
      simdjson::dom::array array;
      array = checked<decltype(array)>(e.get_array());
      for (element child : array)
        if (!jansson_reads_alike(child)) return false;
      return true;
    }
    case element_type::OBJECT: {
      simdjson::dom::object object;
      object = checked<decltype(object)>(e.get_object());
      // Small objects (the entries of a list) are checked pairwise, without a set to fill.
      std::string_view names[8];
      size_t count = 0;
      std::unordered_set<std::string_view> many;
      for (auto field : object) {
        if (std::memchr(field.key.data(), '\0', field.key.size())) return false;
        if (count < 8) {
          if (std::find(names, names + count, field.key) != names + count) return false;
          names[count++] = field.key;
        } else {
          if (many.empty()) many.insert(names, names + count);
          if (!many.insert(field.key).second) return false;
        }
        if (!jansson_reads_alike(field.value)) return false;
      }
      return true;
    }
    default:
      return true;
  }
}

// Output gathered in blocks, so that writing a large reply makes few calls.
class Writer {
 public:
  explicit Writer(FILE* to) : to_(to) {}
  ~Writer() { flush(); }
  void put(std::string_view s) {
    buffer_.append(s);
    if (buffer_.size() >= 1 << 16) flush();
  }
  void put(char c) { buffer_.push_back(c); }
  void flush() {
    std::fwrite(buffer_.data(), 1, buffer_.size(), to_);
    buffer_.clear();
  }

 private:
  FILE* to_;
  std::string buffer_;
};

// A text in quotes, escaped as Jansson escapes it: '"', '\\' and the characters below 0x20.
void put_string(Writer& w, std::string_view s) {
  w.put('"');
  size_t run = 0;
  for (size_t i = 0; i < s.size(); ++i) {
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

void put_indent(Writer& w, int depth) {
  w.put('\n');
  for (int i = 0; i < depth; ++i) w.put("    ");
}

// A value as Jansson's dump with JSON_INDENT(4) writes it at `depth`.
void put_value(Writer& w, element e, int depth) {
  switch (e.type()) {
    case element_type::OBJECT: {
      simdjson::dom::object object;
      object = checked<decltype(object)>(e.get_object());
      if (object.size() == 0) {
        w.put("{}");
        return;
      }
      w.put('{');
      bool first = true;
      for (auto field : object) {
        if (!first) w.put(',');
        first = false;
        put_indent(w, depth + 1);
        put_string(w, field.key);
        w.put(": ");
        put_value(w, field.value, depth + 1);
      }
      put_indent(w, depth);
      w.put('}');
      return;
    }
    case element_type::ARRAY: {
      simdjson::dom::array array;
      array = checked<decltype(array)>(e.get_array());
      if (array.size() == 0) {
        w.put("[]");
        return;
      }
      w.put('[');
      bool first = true;
      for (element child : array) {
        if (!first) w.put(',');
        first = false;
        put_indent(w, depth + 1);
        put_value(w, child, depth + 1);
      }
      put_indent(w, depth);
      w.put(']');
      return;
    }
    case element_type::STRING: {
      std::string_view s;
      s = checked<decltype(s)>(e.get_string());
      put_string(w, s);
      return;
    }
    case element_type::INT64: {
      int64_t n = 0;
      n = checked<decltype(n)>(e.get_int64());
      w.put(std::to_string(n));
      return;
    }
    case element_type::DOUBLE: {
      double d = 0;
      d = checked<decltype(d)>(e.get_double());
      w.put(jansson_real_text(d));
      return;
    }
    case element_type::BOOL: {
      bool b = false;
      b = checked<decltype(b)>(e.get_bool());
      w.put(b ? "true" : "false");
      return;
    }
    default:
      w.put("null");
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

struct LargeReply::Impl {
  simdjson::dom::parser parser;
  element message;
  element id;
  element result;
};

LargeReply::LargeReply() = default;
LargeReply::~LargeReply() = default;

bool LargeReply::load(std::string_view line, int64_t id, bool padded) {
  static_assert(LineReader::kPadding >= simdjson::SIMDJSON_PADDING);
  auto impl = std::make_unique<Impl>();
  if (impl->parser.parse(line.data(), line.size(), !padded).get(impl->message) !=
      simdjson::SUCCESS)
    return false;
  simdjson::dom::object object;
  if (impl->message.get_object().get(object) != simdjson::SUCCESS) return false;
  std::string_view version;
  int64_t got = -1;
  if (object["jsonrpc"].get_string().get(version) != simdjson::SUCCESS || version != "2.0" ||
      object["id"].get(impl->id) != simdjson::SUCCESS ||
      impl->id.get_int64().get(got) != simdjson::SUCCESS || got != id ||
      object["result"].get(impl->result) != simdjson::SUCCESS ||
      object["error"].error() != simdjson::NO_SUCH_FIELD ||
      object["method"].error() != simdjson::NO_SUCH_FIELD ||
      !jansson_reads_alike(impl->message))
    return false;
  impl_ = std::move(impl);
  return true;
}

void LargeReply::write_message(FILE* to) const {
  if (!impl_) return;
  Writer w(to);
  w.put("{\n    \"jsonrpc\": \"2.0\",\n    \"id\": ");
  put_value(w, impl_->id, 1);
  w.put(",\n    \"result\": ");
  put_value(w, impl_->result, 1);
  w.put("\n}");
}

void LargeReply::for_each_parameter(
    const std::function<void(std::string_view name, const ReplyValue& value)>& fn) const {
  if (!impl_) return;
  simdjson::dom::array list;
  if (impl_->result["ParameterList"].get_array().get(list) != simdjson::SUCCESS) return;
  ReplyValue value;
  for (element entry : list) {
    std::string_view name;
    if (entry["Name"].get_string().get(name) != simdjson::SUCCESS) name = {};
    element v;
    value.kind = ReplyValue::kAbsent;
    if (entry.is_object() && entry["Value"].get(v) == simdjson::SUCCESS) {
      switch (v.type()) {
        case element_type::STRING:
          value.kind = ReplyValue::kString;
          value.string = checked<decltype(value.string)>(v.get_string());
          break;
        case element_type::INT64:
          value.kind = ReplyValue::kInteger;
          value.integer = checked<decltype(value.integer)>(v.get_int64());
          break;
        case element_type::DOUBLE:
          value.kind = ReplyValue::kReal;
          value.real = checked<decltype(value.real)>(v.get_double());
          break;
        case element_type::BOOL: {
          bool b = false;
          b = checked<decltype(b)>(v.get_bool());
          value.kind = b ? ReplyValue::kTrue : ReplyValue::kFalse;
          break;
        }
        case element_type::NULL_VALUE:
          value.kind = ReplyValue::kNull;
          break;
        default:
          value.kind = ReplyValue::kComposite;
          value.json = simdjson::minify(v);
          break;
      }
    }
    fn(name, value);
  }
}

}  // namespace k
