#include "lua/lua_record.h"

#include <cstdio>
#include <set>

namespace {

// `text` as a Lua string literal in double quotes.
std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7f) {
      char code[8];
      std::snprintf(code, sizeof code, "\\%03u", c);
      out += code;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// Whether `name` can stand as a global's name in Lua source.
bool is_name(const std::string& name) {
  static const std::set<std::string> reserved = {
      "and", "break", "do", "else", "elseif", "end", "false", "for", "function", "goto", "if",
      "in", "local", "nil", "not", "or", "repeat", "return", "then", "true", "until", "while"};
  if (name.empty() || reserved.contains(name) || (name[0] >= '0' && name[0] <= '9')) return false;
  for (unsigned char c : name)
    if (!(c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
      return false;
  return true;
}

}  // namespace

std::vector<std::string> lua_record_preamble(const std::vector<std::string>& modules) {
  std::vector<std::string> lines = {
      "-- Recorded in velc's Lua shell: what it had preloaded, then the statements typed.",
      "local function velc_show(...) if select(\"#\", ...) > 0 then print(...) end end",
  };
  for (const std::string& name : modules) {
    std::string global = is_name(name) ? name : "_ENV[" + quoted(name) + "]";
    lines.push_back(global + " = require(" + quoted("norlan." + name) + ")");
  }
  return lines;
}

std::string lua_record_statement(const std::string& text, bool as_expression, bool compiled) {
  if (!compiled) {
    std::string out = "-- " ;
    for (char c : text) {
      out += c;
      if (c == '\n') out += "-- ";
    }
    return out;
  }
  if (!as_expression) return text;
  // A comment at the end of the expression must not swallow the closing parenthesis.
  return "velc_show(" + text + (text.find("--") != std::string::npos ? "\n)" : ")");
}
