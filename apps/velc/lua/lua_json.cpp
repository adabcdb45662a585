#include "lua/lua_json.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr int kMaxDepth = 64;

k::Json to_json(lua_State* L, int index, std::string& why, int depth);

// A table as a JSON array when its keys are exactly 1..n, else as an object of text keys.
k::Json table_to_json(lua_State* L, int index, std::string& why, int depth) {
  size_t n = lua_rawlen(L, index);
  size_t keys = 0;
  bool text_keys = true;
  lua_pushnil(L);
  while (lua_next(L, index) != 0) {  // raises only for a key changed while iterating
    ++keys;
    if (lua_type(L, -2) != LUA_TSTRING) text_keys = false;
    lua_pop(L, 1);
  }
  if (keys == 0 || (n == keys && !text_keys)) {
    k::Json array = k::Json::take(json_array());
    for (size_t i = 1; i <= n; ++i) {
      lua_rawgeti(L, index, static_cast<lua_Integer>(i));
      k::Json item = to_json(L, lua_gettop(L), why, depth + 1);
      lua_pop(L, 1);
      if (!item) return {};
      json_array_append_new(array.get(), item.release());
    }
    return array;
  }
  if (!text_keys) {
    why = "a table with keys other than texts or 1..n";
    return {};
  }
  // Members sorted by name: Lua's order changes from run to run, requests should not.
  std::vector<std::pair<std::string_view, k::Json>> members;
  lua_pushnil(L);
  while (lua_next(L, index) != 0) {
    size_t len = 0;
    const char* key = lua_tolstring(L, -2, &len);  // a string already: no conversion
    k::Json item = to_json(L, lua_gettop(L), why, depth + 1);
    lua_pop(L, 1);
    if (!item) {
      lua_pop(L, 1);
      return {};
    }
    members.emplace_back(std::string_view(key, len), std::move(item));  // the table keeps the key
  }
  std::sort(members.begin(), members.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  k::Json object = k::Json::take(json_object());
  for (auto& [key, item] : members)
    json_object_setn_new(object.get(), key.data(), key.size(), item.release());
  return object;
}

k::Json to_json(lua_State* L, int index, std::string& why, int depth) {
  if (depth > kMaxDepth || !lua_checkstack(L, 3)) {
    why = "a table nested too deep";
    return {};
  }
  switch (lua_type(L, index)) {
    case LUA_TBOOLEAN:
      return k::Json::take(json_boolean(lua_toboolean(L, index)));
    case LUA_TNUMBER:
      if (lua_isinteger(L, index)) return k::Json::take(json_integer(lua_tointeger(L, index)));
      if (!std::isfinite(lua_tonumber(L, index))) {
        why = "a number that is not finite";
        return {};
      }
      return k::Json::take(json_real(lua_tonumber(L, index)));
    case LUA_TSTRING: {
      size_t len = 0;
      const char* s = lua_tolstring(L, index, &len);
      k::Json text = k::json_str(std::string_view(s, len));
      if (!text) why = "a text that is not UTF-8";
      return text;
    }
    case LUA_TLIGHTUSERDATA:
      if (lua_touserdata(L, index) == nullptr) return k::Json::take(json_null());
      break;
    case LUA_TTABLE:
      return table_to_json(L, index, why, depth);
    default:
      break;
  }
  why = std::string("a ") + lua_typename(L, lua_type(L, index)) + " value";
  return {};
}

}  // namespace

k::Json lua_to_json(lua_State* L, int index, std::string& why) {
  return to_json(L, lua_absindex(L, index), why, 0);
}

void lua_push_json(lua_State* L, json_t* value) {
  luaL_checkstack(L, 3, "JSON nested too deep");
  if (!value) {
    lua_pushnil(L);
    return;
  }
  switch (json_typeof(value)) {
    case JSON_OBJECT: {
      lua_createtable(L, 0, static_cast<int>(json_object_size(value)));
      const char* key;
      json_t* member;
      json_object_foreach(value, key, member) {
        lua_pushstring(L, key);
        lua_push_json(L, member);
        lua_rawset(L, -3);
      }
      return;
    }
    case JSON_ARRAY: {
      size_t n = json_array_size(value);
      lua_createtable(L, static_cast<int>(n), 0);
      for (size_t i = 0; i < n; ++i) {
        lua_push_json(L, json_array_get(value, i));
        lua_rawseti(L, -2, static_cast<lua_Integer>(i + 1));
      }
      return;
    }
    case JSON_STRING:
      lua_pushlstring(L, json_string_value(value), json_string_length(value));
      return;
    case JSON_INTEGER:
      lua_pushinteger(L, json_integer_value(value));
      return;
    case JSON_REAL:
      lua_pushnumber(L, json_real_value(value));
      return;
    case JSON_TRUE:
    case JSON_FALSE:
      lua_pushboolean(L, json_is_true(value));
      return;
    case JSON_NULL:
      lua_pushlightuserdata(L, nullptr);
      return;
  }
}
