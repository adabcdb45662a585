// The values below an object as nested tables (`tree`).
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "lua/lua_device_call.h"
#include "lua/lua_device_values.h"

namespace {

// An element of a path as a key: an instance number (an integer key), else a text.
struct Key {
  bool number = false;
  lua_Integer n = 0;
  std::string_view text;
};

Key key_of(std::string_view element) {
  Key k;
  if (!element.empty() && element.size() <= 9 &&
      element.find_first_not_of("0123456789") == std::string_view::npos) {
    k.number = true;
    for (char ch : element) k.n = k.n * 10 + (ch - '0');
  } else {
    k.text = element;
  }
  return k;
}

// The entries below `base` (an object path with its trailing dot) as nested tables, built in
// chunks so that a reply of many values is never held twice: the entries of a chunk are copied
// out of the reply (into the chunk's reused memory), then added to the tables in a protected
// call. Between chunks the root and the tables along the previous name's path wait in a Lua
// list; a reply lists an object's parameters together, so most entries only add their last
// element to the table on top.
struct TreeBuilder {
  static constexpr size_t kChunk = 1024;
  std::string_view base;
  std::vector<DeviceEntry> chunk;
  std::string_view previous;        // the last entry's name below the base
  std::vector<size_t> open;         // per open table: the length of its path in `previous`
  std::vector<int> fields;          // per open table: the fields given to it so far
  std::vector<int> sibling_fields;  // per depth: the fields of the last table closed there
};

// Leaves the child of the table on top under `key` above it, made when missing (sized like its
// last sibling): parent -> parent, child.
void open_child(lua_State* L, const Key& key, int size_hint) {
  if (key.number) {
    if (lua_rawgeti(L, -1, key.n) == LUA_TTABLE) return;
    lua_pop(L, 1);
    lua_createtable(L, 0, size_hint);
    lua_pushvalue(L, -1);
    lua_rawseti(L, -3, key.n);
    return;
  }
  lua_pushlstring(L, key.text.data(), key.text.size());
  lua_pushvalue(L, -1);
  if (lua_rawget(L, -3) != LUA_TTABLE) {  // parent, key, old
    lua_pop(L, 1);
    lua_createtable(L, 0, size_hint);
    lua_pushvalue(L, -2);
    lua_pushvalue(L, -2);
    lua_rawset(L, -5);  // parent[key] = child
  }
  lua_remove(L, -2);
}

// Protected: adds the chunk's entries (the builder is the light userdata at index 1) to the
// tree whose root and open tables are listed at index 2 (nil before the first chunk); returns
// that list. The builder's vectors are the caller's: nothing here has a destructor.
int push_tree_chunk(lua_State* L) {
  auto& b = *static_cast<TreeBuilder*>(lua_touserdata(L, 1));
  if (lua_isnil(L, 2)) {
    lua_newtable(L);
    lua_newtable(L);
    lua_rawseti(L, -2, 1);
    lua_replace(L, 2);
  }
  luaL_checkstack(L, static_cast<int>(b.open.size()) + 8, "a path nested too deep");
  for (lua_Integer i = 1; i <= static_cast<lua_Integer>(b.open.size()) + 1; ++i)
    lua_rawgeti(L, 2, i);
  for (const DeviceEntry& e : b.chunk) {
    std::string_view rest = e.name.substr(b.base.size());
    size_t common = static_cast<size_t>(
        std::mismatch(rest.begin(), rest.end(), b.previous.begin(), b.previous.end()).first -
        rest.begin());
    while (!b.open.empty() && b.open.back() > common) {
      if (b.sibling_fields.size() < b.open.size()) b.sibling_fields.resize(b.open.size());
      b.sibling_fields[b.open.size() - 1] = b.fields.back();
      b.open.pop_back();
      b.fields.pop_back();
      lua_pop(L, 1);
    }
    size_t start = b.open.empty() ? 0 : b.open.back();
    for (size_t dot; (dot = rest.find('.', start)) != std::string_view::npos; start = dot + 1) {
      luaL_checkstack(L, 4, "a path nested too deep");
      size_t depth = b.open.size();
      open_child(L, key_of(rest.substr(start, dot - start)),
                 depth < b.sibling_fields.size() ? b.sibling_fields[depth] : 0);
      if (!b.fields.empty()) ++b.fields.back();
      b.open.push_back(dot + 1);
      b.fields.push_back(0);
    }
    Key leaf = key_of(rest.substr(start));
    if (leaf.number) {
      device_push_value(L, e);
      lua_rawseti(L, -2, leaf.n);
    } else {
      lua_pushlstring(L, leaf.text.data(), leaf.text.size());
      device_push_value(L, e);
      lua_rawset(L, -3);
    }
    if (!b.fields.empty()) ++b.fields.back();
    b.previous = rest;
  }
  // The open tables go back into the list (the root stays first), for the next chunk.
  const lua_Integer n = static_cast<lua_Integer>(b.open.size()) + 1;
  for (lua_Integer i = n; i >= 2; --i) lua_rawseti(L, 2, i);
  for (lua_Integer i = n + 1; lua_rawgeti(L, 2, i) != LUA_TNIL; ++i) {
    lua_pop(L, 1);
    lua_pushnil(L);
    lua_rawseti(L, 2, i);
  }
  lua_settop(L, 2);
  return 1;
}

}  // namespace

int device_tree(lua_State* L, k::Connection& c) {
  k::Message m;
  k::LargeReply large;
  if (int status = device_request_values(L, c, "tree", m, large); status != 0) return status;
  std::string base = device_text_at(L, 1);
  if (base == ".") base.clear();  // the root: names begin with their first element
  TreeBuilder builder;
  builder.base = base;
  builder.chunk.reserve(TreeBuilder::kChunk);
  lua_pushnil(L);  // the list of the tree's open tables, made by the first chunk
  const int list = lua_gettop(L);
  int failed = 0;  // -1: the error object stands in the list's place; kDeviceOutOfMemory
  auto add_chunk = [&] {
    if (failed) return;
    if (!lua_checkstack(L, 3)) {
      failed = kDeviceOutOfMemory;
      return;
    }
    lua_pushcfunction(L, push_tree_chunk);
    lua_pushlightuserdata(L, &builder);
    lua_pushvalue(L, list);
    if (lua_pcall(L, 2, 1, 0) != LUA_OK) {
      lua_replace(L, list);  // the error object
      failed = -1;
      return;
    }
    lua_replace(L, list);
    builder.chunk.clear();
  };
  device_for_each_entry(m, large, [&](DeviceEntry& e) {
    if (!e.name.starts_with(builder.base)) return;  // the base itself, or outside it
    builder.chunk.push_back(std::move(e));
    if (builder.chunk.size() == TreeBuilder::kChunk) add_chunk();
  });
  add_chunk();  // the last entries, and the root of an empty tree
  if (failed) return failed;  // -1: the error object is on top
  lua_rawgeti(L, list, 1);
  lua_remove(L, list);
  return 1;
}
