#include "render/value_text.h"

#include <cinttypes>
#include <cstdio>

#include "platform/json.h"

namespace {

// "0b" and the binary digits of the low 32 bits, without leading zeros ("0b0" for none set).
std::string binary_text(uint64_t bits) {
  std::string out = "0b";
  bool started = false;
  for (int bit = 31; bit >= 0; --bit) {
    bool set = (bits >> bit) & 1u;
    if (set) started = true;
    if (started) out += set ? '1' : '0';
  }
  if (!started) out += '0';
  return out;
}

std::string integer_text(json_int_t v, int base) {
  // Octal and hexadecimal show the 64-bit two's-complement bits, with no sign.
  auto bits = static_cast<unsigned long long>(v);
  char buf[32];
  switch (base) {
    case 8:
      std::snprintf(buf, sizeof buf, "0%llo", bits);
      return buf;
    case 16:
      std::snprintf(buf, sizeof buf, "0x%llx", bits);
      return buf;
    case 2:
      // A negative value keeps its sign in front of the digits of its magnitude, so -5 and 5
      // differ only by the "-".
      if (v < 0) return binary_text(0ull - bits).insert(0, 1, '-');
      return binary_text(bits);
    default:
      std::snprintf(buf, sizeof buf, "%" JSON_INTEGER_FORMAT, v);
      return buf;
  }
}

}  // namespace

std::string reply_value_text(const k::ReplyValue& value, int base) {
  switch (value.kind) {
    case k::ReplyValue::kAbsent: return {};
    case k::ReplyValue::kString: return "'" + std::string(value.string) + "'";
    case k::ReplyValue::kInteger: return integer_text(value.integer, base);
    case k::ReplyValue::kReal: return k::jansson_real_text(value.real);
    case k::ReplyValue::kTrue: return "true";
    case k::ReplyValue::kFalse: return "false";
    case k::ReplyValue::kNull: return "null";
    case k::ReplyValue::kComposite: break;
  }
  return json_dump_value(k::json_parse(value.json).get(), base);
}

std::string json_dump_value(json_t* value, int base) {
  if (!value) return {};
  switch (json_typeof(value)) {
    case JSON_OBJECT:
      return k::json_dump(value, JSON_INDENT(4));
    case JSON_ARRAY:
      return k::json_dump(value, 0);
    case JSON_STRING: {
      std::string text;
      text.reserve(json_string_length(value) + 2);
      text.append(1, '\'').append(json_string_value(value), json_string_length(value));
      return text.append(1, '\'');
    }
    case JSON_INTEGER:
      return integer_text(json_integer_value(value), base);
    default:
      return k::json_dump(value, JSON_ENCODE_ANY);
  }
}
