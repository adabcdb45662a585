// The renderer runs as a C function under lua_pcall, so that a Lua error raised on the way (a
// failing "__index", an out-of-memory) returns to lua_value_render instead of unwinding C++
// frames. Inside it no object with a destructor is alive across a Lua API call: pieces are
// formatted into char arrays or borrowed from Lua, and the buffer lives outside the call.
#include "lua/lua_printer.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

struct Render {
  TextBuffer* buffer;
  const char* bold;    // "\e[1m" or ""
  const char* unbold;  // "\e[22m" or ""
  int seen;            // stack slot of the seen list: the tables being rendered, outermost first
};

void render_value(lua_State* L, Render& r, int index);

bool printable(unsigned char c) { return c >= 32 && c < 127; }

bool is_identifier(std::string_view key) {
  for (size_t i = 0; i < key.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(key[i]);
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    const bool digit = c >= '0' && c <= '9';
    if (!letter && !(digit && i > 0)) return false;
  }
  return true;
}

void render_string(Render& r, std::string_view s) {
  TextBuffer& b = *r.buffer;
  const int w = b.width();
  long estimate = static_cast<long>(s.size());
  int level = 0, equals = 0;
  bool after_bracket = false;
  for (char ch : s) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '\t' || c == '\n' || c == '\v' || c == '\r')
      estimate += w / 2;
    else if (!printable(c))
      estimate -= w / 4;
    if (!after_bracket) {
      if (c == ']') after_bracket = true, equals = 0;
    } else if (c == '=') {
      ++equals;
    } else if (c == ']') {
      if (equals >= level) level = equals + 1;
    } else {
      after_bracket = false;
    }
  }

  if (estimate <= w) {
    b.ensure_room(s.size() + 2);
    b.append_direct("\"");
    for (char ch : s) {
      const unsigned char c = static_cast<unsigned char>(ch);
      const char* named = nullptr;
      switch (c) {
        case '\a': named = "\\a"; break;
        case '\b': named = "\\b"; break;
        case '\f': named = "\\f"; break;
        case '\n': named = "\\n"; break;
        case '\r': named = "\\r"; break;
        case '\t': named = "\\t"; break;
        case '\v': named = "\\v"; break;
        default: break;
      }
      if (c == '"' || c == '\\') {
        const char pair[2] = {'\\', ch};
        b.append_direct(std::string_view(pair, 2));
      } else if (named) {
        b.append_direct(named);
      } else if (!printable(c)) {
        char code[8];
        std::snprintf(code, sizeof code, "\\%03u", static_cast<unsigned>(c));
        b.append_wrapped(code);
      } else {
        b.append_direct(std::string_view(&ch, 1));
      }
    }
    b.append_direct("\"");
    return;
  }
  b.append_direct("[");
  for (int i = 0; i < level; ++i) b.append_direct("=");
  b.append_direct("[\n");
  b.append_wrapped(s);
  b.append_direct("]");
  for (int i = 0; i < level; ++i) b.append_direct("=");
  b.append_direct("]");
}

// Appends "<NAME: %p>" for a function, userdata or thread.
void render_reference(lua_State* L, Render& r, int index, const char* name) {
  char text[96];
  std::snprintf(text, sizeof text, "<%s%s:%s %p>", r.bold, name, r.unbold, lua_topointer(L, index));
  r.buffer->append_wrapped(text);
}

// The position of table `index` in the seen list counted from its end (1: the last), or 0.
int seen_position(lua_State* L, Render& r, int index) {
  const lua_Integer n = static_cast<lua_Integer>(lua_rawlen(L, r.seen));
  for (lua_Integer i = n; i >= 1; --i) {
    lua_rawgeti(L, r.seen, i);
    const bool same = lua_compare(L, -1, index, LUA_OPEQ);
    lua_pop(L, 1);
    if (same) return static_cast<int>(n - i + 1);
  }
  return 0;
}

// True for a number key that the array part of length m has shown already.
bool shown_by_array(lua_State* L, int key, lua_Integer m) {
  if (lua_type(L, key) != LUA_TNUMBER) return false;
  const lua_Number k = lua_tonumber(L, key);
  if (!(k > -1.0 && k < static_cast<lua_Number>(m) + 1.0)) return false;  // also NaN
  const lua_Integer whole = static_cast<lua_Integer>(k);
  const float diff = static_cast<float>(k - static_cast<lua_Number>(whole));
  return std::fabs(diff) < 0.000001f && whole > 0 && whole <= m;
}

void render_table(lua_State* L, Render& r, int t) {
  TextBuffer& b = *r.buffer;
  char marker[64];
  if (b.indent() > b.width() * 8 / 10) {
    std::snprintf(marker, sizeof marker, "{ %s...%s }", r.bold, r.unbold);
    b.append_wrapped(marker);
    return;
  }
  if (int k = seen_position(L, r, t)) {
    std::snprintf(marker, sizeof marker, "{ %s[%d]...%s }", r.bold, -k, r.unbold);
    b.append_wrapped(marker);
    return;
  }
  const lua_Integer slot = static_cast<lua_Integer>(lua_rawlen(L, r.seen)) + 1;
  lua_pushvalue(L, t);
  lua_rawseti(L, r.seen, slot);

  b.append_direct("{ ");
  const int outer_indent = b.indent();
  b.set_indent(b.column());
  bool several_lines = false;

  const lua_Integer m = static_cast<lua_Integer>(lua_rawlen(L, t));
  bool ended_with_break = false;
  for (lua_Integer i = 1; i <= m; ++i) {
    lua_pushinteger(L, i);
    lua_gettable(L, t);
    const bool is_table = lua_type(L, -1) == LUA_TTABLE;
    if (is_table && !ended_with_break) {
      b.new_line();
      several_lines = true;
    }
    render_value(L, r, lua_gettop(L));
    lua_pop(L, 1);
    b.append_direct(", ");
    ended_with_break = is_table && i != m;
    if (ended_with_break) b.new_line();
  }

  lua_pushnil(L);
  while (lua_next(L, t)) {
    const int key = lua_gettop(L) - 1;
    if (shown_by_array(L, key, m)) {
      lua_pop(L, 1);
      continue;
    }
    b.new_line();
    size_t len = 0;
    const char* name = lua_type(L, key) == LUA_TSTRING ? lua_tolstring(L, key, &len) : nullptr;
    if (name && is_identifier(std::string_view(name, len))) {
      // bold + key + unbold as one piece, so that the key wraps whole.
      b.append_wrapped(std::string(r.bold) + std::string(name, len) + r.unbold);
    } else {
      b.append_direct("[");
      render_value(L, r, key);
      b.append_direct("]");
    }
    b.append_direct(" = ");
    render_value(L, r, key + 1);
    b.append_direct(",");
    several_lines = true;
    lua_pop(L, 1);
  }

  lua_pushnil(L);
  lua_rawseti(L, r.seen, slot);
  b.set_indent(outer_indent);
  if (several_lines) {
    b.new_line();
    b.append_direct("}");
  } else {
    b.append_direct(" }");
  }
}

void render_value(lua_State* L, Render& r, int index) {
  luaL_checkstack(L, 8, "tables nested too deeply to print");
  TextBuffer& b = *r.buffer;
  if (luaL_getmetafield(L, index, "__tostring") != LUA_TNIL) {
    lua_pushvalue(L, index);
    lua_pcall(L, 1, 1, 0);  // an error message stands in for the text
    size_t len = 0;
    const char* text = lua_tolstring(L, -1, &len);
    if (text)
      b.append_wrapped(std::string_view(text, len));
    else
      b.append_wrapped("'__tostring' must return a string");
    lua_pop(L, 1);
    return;
  }
  char text[32];
  switch (lua_type(L, index)) {
    case LUA_TNIL:
      std::snprintf(text, sizeof text, "%snil%s", r.bold, r.unbold);
      b.append_wrapped(text);
      break;
    case LUA_TBOOLEAN:
      std::snprintf(text, sizeof text, "%s%s%s", r.bold, lua_toboolean(L, index) ? "true" : "false",
                    r.unbold);
      b.append_wrapped(text);
      break;
    case LUA_TNUMBER: {
      lua_pushvalue(L, index);  // lua_tolstring turns the copy into a string, not the value
      size_t len = 0;
      const char* s = lua_tolstring(L, -1, &len);
      b.append_wrapped(std::string_view(s, len));
      lua_pop(L, 1);
      break;
    }
    case LUA_TSTRING: {
      size_t len = 0;
      const char* s = lua_tolstring(L, index, &len);
      render_string(r, std::string_view(s, len));
      break;
    }
    case LUA_TTABLE: render_table(L, r, index); break;
    case LUA_TFUNCTION: render_reference(L, r, index, "function"); break;
    case LUA_TUSERDATA: render_reference(L, r, index, "userdata"); break;
    case LUA_TTHREAD: render_reference(L, r, index, "thread"); break;
    default: break;  // light userdata renders as nothing
  }
}

// The protected entry: argument 1 is the Render record (light userdata), argument 2 the value.
int render_entry(lua_State* L) {
  Render& r = *static_cast<Render*>(lua_touserdata(L, 1));
  lua_newtable(L);
  r.seen = lua_gettop(L);
  render_value(L, r, 2);
  return 0;
}

}  // namespace

const std::string& lua_value_render(lua_State* L, int index, TextBuffer& buffer, bool bold) {
  buffer.reset(80);
  const int value = lua_absindex(L, index);
  if (!lua_checkstack(L, 3)) {
    buffer.append_direct("not enough memory");
    return buffer.text();
  }
  Render r{&buffer, bold ? "\x1b[1m" : "", bold ? "\x1b[22m" : "", 0};
  lua_pushcfunction(L, render_entry);
  lua_pushlightuserdata(L, &r);
  lua_pushvalue(L, value);
  if (lua_pcall(L, 2, 0, 0) != LUA_OK) {
    const char* message = lua_tostring(L, -1);
    buffer.reset(80);
    buffer.append_wrapped(message ? message : "(error object is not a string)");
    lua_pop(L, 1);
  }
  return buffer.text();
}

const std::string& lua_value_to_text(lua_State* L, int index, TextBuffer& buffer) {
  return lua_value_render(L, index, buffer, false);
}
