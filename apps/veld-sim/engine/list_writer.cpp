#include "engine/list_writer.h"

#include <charconv>

namespace sim {

void append_json_string(std::string& out, std::string_view s) {
  static const char kHex[] = "0123456789ABCDEF";
  out.push_back('"');
  size_t plain = 0;  // start of the run of bytes copied as they are
  for (size_t i = 0; i < s.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(s.substr(plain, i - plain));
    plain = i + 1;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        out += "\\u00";
        out.push_back(kHex[c >> 4]);
        out.push_back(kHex[c & 15]);
    }
  }
  out.append(s.substr(plain));
  out.push_back('"');
}

void append_json_value(std::string& out, json_t* v) {
  switch (json_typeof(v)) {
    case JSON_STRING:
      append_json_string(out, std::string_view(json_string_value(v), json_string_length(v)));
      return;
    case JSON_INTEGER: {
      char buf[24];
      auto end = std::to_chars(buf, buf + sizeof buf, json_integer_value(v)).ptr;
      out.append(buf, end);
      return;
    }
    case JSON_TRUE: out += "true"; return;
    case JSON_FALSE: out += "false"; return;
    case JSON_NULL: out += "null"; return;
    default: {
      std::string text = k::json_dump(v, JSON_COMPACT | JSON_ENCODE_ANY);
      out += text.empty() ? "null" : text;
    }
  }
}

void ListWriter::open(std::string_view name, const char* key) {
  if (count_++) text_.push_back(',');
  text_ += "{\"Name\":";
  append_json_string(text_, name);
  text_ += ",\"";
  text_ += key;
  text_ += "\":";
}

void ListWriter::add(std::string_view name, const char* key, json_t* v) {
  open(name, key);
  append_json_value(text_, v);
  text_.push_back('}');
}

void ListWriter::add(std::string_view name, const char* key, bool b) {
  open(name, key);
  text_ += b ? "true}" : "false}";
}

void ListWriter::add_shared(std::string_view name, const char* key, json_t* v) {
  open(name, key);
  auto [it, fresh] = encoded_.try_emplace(v);
  if (fresh) append_json_value(it->second, v);
  text_ += it->second;
  text_.push_back('}');
}

std::string ListWriter::finish() {
  text_ += "]}";
  return std::move(text_);
}

}  // namespace sim
