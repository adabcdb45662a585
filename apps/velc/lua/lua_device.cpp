// The data-model functions of norlan.device. Each C function checks its arguments (which may
// raise, holding nothing yet), then runs its C++ body under device_guarded: the body builds the
// request, exchanges it and pushes the results from plain data in a protected call.
#include "lua/lua_device.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lua/lua_device_call.h"
#include "lua/lua_device_events.h"
#include "lua/lua_json.h"
#include "platform/large_reply.h"

namespace {

// One value of a GetParameterValues reply, kept until it is pushed.
struct Entry {
  std::string_view name;
  k::ReplyValue::Kind kind = k::ReplyValue::kAbsent;
  std::string_view text;  // kString
  int64_t integer = 0;
  double real = 0;
  k::Json json;  // kComposite: the value (also every value of a reply read with Jansson)
};

// Pushes an entry's value.
void push_value(lua_State* L, const Entry& e) {
  switch (e.kind) {
    case k::ReplyValue::kString: lua_pushlstring(L, e.text.data(), e.text.size()); break;
    case k::ReplyValue::kInteger: lua_pushinteger(L, e.integer); break;
    case k::ReplyValue::kReal: lua_pushnumber(L, e.real); break;
    case k::ReplyValue::kTrue: lua_pushboolean(L, 1); break;
    case k::ReplyValue::kFalse: lua_pushboolean(L, 0); break;
    case k::ReplyValue::kNull: lua_pushlightuserdata(L, nullptr); break;
    default: lua_push_json(L, e.json.get()); break;
  }
}

// Protected: a table name -> value of the entries.
int push_entries(lua_State* L, const void* data) {
  const auto& entries = *static_cast<const std::vector<Entry>*>(data);
  lua_createtable(L, 0, static_cast<int>(std::min<size_t>(entries.size(), INT32_MAX)));
  for (const Entry& e : entries) {
    lua_pushlstring(L, e.name.data(), e.name.size());
    push_value(L, e);
    lua_rawset(L, -3);
  }
  return 1;
}

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
  std::vector<Entry> chunk;
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
  for (const Entry& e : b.chunk) {
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
      push_value(L, e);
      lua_rawseti(L, -2, leaf.n);
    } else {
      lua_pushlstring(L, leaf.text.data(), leaf.text.size());
      push_value(L, e);
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

// The entries of a "ParameterList" read with Jansson: names and values borrowed from `list`.
std::vector<Entry> entries_of(json_t* list) {
  std::vector<Entry> entries;
  entries.reserve(json_array_size(list));
  size_t i;
  json_t* item;
  json_array_foreach(list, i, item) {
    json_t* name = json_object_get(item, "Name");
    json_t* value = json_object_get(item, "Value");
    if (!json_is_string(name) || !value) continue;
    Entry e;
    e.name = std::string_view(json_string_value(name), json_string_length(name));
    e.kind = k::ReplyValue::kComposite;
    e.json = k::Json::borrow(value);
    entries.push_back(std::move(e));
  }
  return entries;
}

// Protected: a JSON value as a Lua value.
int push_json_value(lua_State* L, const void* data) {
  lua_push_json(L, static_cast<json_t*>(const_cast<void*>(data)));
  return 1;
}

// Protected: the "Name" texts of a ParameterList as a sequence.
int push_names(lua_State* L, const void* data) {
  json_t* list = static_cast<json_t*>(const_cast<void*>(data));
  lua_createtable(L, static_cast<int>(std::min<size_t>(json_array_size(list), INT32_MAX)), 0);
  lua_Integer n = 0;
  size_t i;
  json_t* item;
  json_array_foreach(list, i, item) {
    json_t* name = json_object_get(item, "Name");
    if (!json_is_string(name)) continue;
    lua_pushlstring(L, json_string_value(name), json_string_length(name));
    lua_rawseti(L, -2, ++n);
  }
  return 1;
}

// Protected: true.
int push_true(lua_State* L, const void*) {
  lua_pushboolean(L, 1);
  return 1;
}

// Protected: the error message "bad argument #N to 'F' (what)".
struct BadArgument {
  int index;
  const char* function;
  std::string what;
};
int push_bad_argument(lua_State* L, const void* data) {
  const auto& b = *static_cast<const BadArgument*>(data);
  lua_pushfstring(L, "bad argument #%d to '%s' (%s)", b.index, b.function, b.what.c_str());
  return 1;
}
int bad_argument(lua_State* L, int index, const char* function, std::string what) {
  BadArgument b{index, function, std::move(what)};
  int n = device_push(L, push_bad_argument, &b);
  return n < 0 ? n : -1;
}

std::string text_at(lua_State* L, int index) {
  size_t len = 0;
  const char* s = lua_tolstring(L, index, &len);  // a string (checked): no conversion
  return std::string(s, len);
}

// An object path: the text at `index` with a trailing dot.
std::string object_path_at(lua_State* L, int index) {
  std::string path = text_at(L, index);
  if (!path.ends_with('.')) path += '.';
  return path;
}

// Exchanges `m` and pushes the fault when the reply is none: true when there is a result.
bool exchange_ok(lua_State* L, k::Connection& c, k::Message& m, int& status,
                 k::LargeReply* large = nullptr) {
  device_exchange(c, m, large);
  if (m.kind == k::kMsgResult) return true;
  status = device_push_fault(L, m);
  return false;
}

// Asks for the values of the paths (a text, or a sequence of texts, at index 1): the reply is
// read into `m` or, when large, into `large`. 0, or the status of the error pushed.
int request_values(lua_State* L, k::Connection& c, const char* function, k::Message& m,
                   k::LargeReply& large) {
  k::Json names = k::Json::take(json_array());
  bool one = lua_type(L, 1) == LUA_TSTRING;
  size_t n = one ? 1 : lua_rawlen(L, 1);
  for (size_t i = 1; i <= n; ++i) {
    if (!one) lua_rawgeti(L, 1, static_cast<lua_Integer>(i));
    bool text = lua_type(L, -1) == LUA_TSTRING;
    k::Json path = text ? k::json_str(text_at(L, -1)) : k::Json();
    if (!one) lua_pop(L, 1);
    if (!path) return bad_argument(L, 1, function, "the paths must be UTF-8 texts");
    json_array_append_new(names.get(), path.release());
  }
  m = k::msg_get_parameter_values(std::move(names));
  int status = 0;
  exchange_ok(L, c, m, status, &large);
  return status;
}

// Calls `fn` with every value of the reply that request_values read, in order; the entries
// borrow from `m` and `large`.
void for_each_entry(const k::Message& m, const k::LargeReply& large,
                    const std::function<void(Entry&)>& fn) {
  if (m.result) {
    for (Entry& e : entries_of(json_object_get(m.result.get(), "ParameterList"))) fn(e);
    return;
  }
  large.for_each_parameter([&](std::string_view name, const k::ReplyValue& v) {
    if (v.kind == k::ReplyValue::kAbsent) return;
    Entry e;
    e.name = name;
    e.kind = v.kind;
    e.text = v.string;
    e.integer = v.integer;
    e.real = v.real;
    if (v.kind == k::ReplyValue::kComposite) e.json = k::json_parse(v.json);
    fn(e);
  });
}

// get: the paths (a text, or a sequence of texts) -> table of values by full name.
int get(lua_State* L, k::Connection& c) {
  k::Message m;
  k::LargeReply large;
  if (int status = request_values(L, c, "get", m, large); status != 0) return status;
  std::vector<Entry> entries;
  for_each_entry(m, large, [&](Entry& e) { entries.push_back(std::move(e)); });
  return device_push(L, push_entries, &entries);
}

// tree: an object path -> its values as nested tables.
int tree(lua_State* L, k::Connection& c) {
  k::Message m;
  k::LargeReply large;
  if (int status = request_values(L, c, "tree", m, large); status != 0) return status;
  std::string base = text_at(L, 1);
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
  for_each_entry(m, large, [&](Entry& e) {
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

// names: path [, next_level] -> sequence of names.
int names(lua_State* L, k::Connection& c) {
  k::Message m = k::msg_get_parameter_names(text_at(L, 1), lua_toboolean(L, 2));
  int status = 0;
  if (!exchange_ok(L, c, m, status)) return status;
  return device_push(L, push_names, json_object_get(m.result.get(), "ParameterList"));
}

// Reads a table name -> value (at `index`) as a ParameterList sorted by name; none after
// pushing the error.
k::Json parameter_list(lua_State* L, int index, const char* function, int& status) {
  std::vector<std::pair<std::string, k::Json>> members;
  lua_pushnil(L);
  while (lua_next(L, index) != 0) {
    std::string why;
    bool named = lua_type(L, -2) == LUA_TSTRING && k::json_str(text_at(L, -2));
    k::Json value = named ? lua_to_json(L, -1, why) : k::Json();
    std::string name = named ? text_at(L, -2) : std::string();
    lua_pop(L, 1);
    if (!named || !value) {
      lua_pop(L, 1);
      status = bad_argument(L, index, function,
                            named ? name + ": " + why : std::string("the names must be UTF-8 texts"));
      return {};
    }
    members.emplace_back(std::move(name), std::move(value));
  }
  std::sort(members.begin(), members.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  k::Json list = k::Json::take(json_array());
  for (auto& [name, value] : members) {
    json_t* item = json_object();
    json_object_set_new(item, "Name", json_stringn(name.data(), name.size()));
    json_object_set_new(item, "Value", value.release());
    json_array_append_new(list.get(), item);
  }
  return list;
}

// set: {path = value, ...}, or path, value -> true.
int set(lua_State* L, k::Connection& c) {
  int status = 0;
  k::Json list;
  if (lua_type(L, 1) == LUA_TSTRING) {
    std::string why;
    k::Json value = lua_to_json(L, 2, why);
    if (!value) return bad_argument(L, 2, "set", why);
    k::Json name = k::json_str(text_at(L, 1));
    if (!name) return bad_argument(L, 1, "set", "the names must be UTF-8 texts");
    list = k::Json::take(json_array());
    json_t* item = json_object();
    json_object_set_new(item, "Name", name.release());
    json_object_set_new(item, "Value", value.release());
    json_array_append_new(list.get(), item);
  } else {
    list = parameter_list(L, 1, "set", status);
    if (!list) return status;
  }
  k::Message m = k::msg_set_parameter_values(std::move(list));
  if (!exchange_ok(L, c, m, status)) return status;
  return device_push(L, push_true, nullptr);
}

// Protected: the integer in data.
int push_integer(lua_State* L, const void* data) {
  lua_pushinteger(L, *static_cast<const lua_Integer*>(data));
  return 1;
}

// add: table path -> instance number.
int add(lua_State* L, k::Connection& c) {
  k::Message m = k::msg_add_object(object_path_at(L, 1));
  int status = 0;
  if (!exchange_ok(L, c, m, status)) return status;
  lua_Integer n = json_integer_value(json_object_get(m.result.get(), "InstanceNumber"));
  return device_push(L, push_integer, &n);
}

// del: instance path -> true.
int del(lua_State* L, k::Connection& c) {
  k::Message m = k::msg_delete_object(object_path_at(L, 1));
  int status = 0;
  if (!exchange_ok(L, c, m, status)) return status;
  return device_push(L, push_true, nullptr);
}

// execute: method path [, {argument = value}] -> table of outputs.
int execute(lua_State* L, k::Connection& c) {
  int status = 0;
  k::Json list;
  if (lua_type(L, 2) == LUA_TTABLE) {
    list = parameter_list(L, 2, "execute", status);
    if (!list) return status;
  }
  std::string method = text_at(L, 1);
  while (method.ends_with('.')) method.pop_back();
  k::Message m = k::msg_execute(method, std::move(list));
  if (!exchange_ok(L, c, m, status)) return status;
  std::vector<Entry> entries = entries_of(json_object_get(m.result.get(), "ParameterList"));
  return device_push(L, push_entries, &entries);
}

// request: method [, params table] -> the result as a Lua value.
int request(lua_State* L, k::Connection& c) {
  k::Json params;
  if (lua_type(L, 2) == LUA_TTABLE) {
    std::string why;
    params = lua_to_json(L, 2, why);
    if (!params) return bad_argument(L, 2, "request", why);
    if (json_is_array(params.get()) && json_array_size(params.get()) == 0)
      params = k::Json::take(json_object());  // {} are params, not an array
  }
  k::Message m = k::msg_create(text_at(L, 1), std::move(params));
  int status = 0;
  if (!exchange_ok(L, c, m, status)) return status;
  return device_push(L, push_json_value, m.result.get());
}

// The C functions: arguments checked, then the body, guarded.
template <int (*Body)(lua_State*, k::Connection&)>
int guarded(lua_State* L) {
  k::Connection* c = &device_connection(L);
  return device_finish(L, device_guarded([&] { return Body(L, *c); }));
}

int l_get(lua_State* L) {
  if (lua_type(L, 1) != LUA_TTABLE) luaL_checktype(L, 1, LUA_TSTRING);
  return guarded<get>(L);
}
int l_tree(lua_State* L) {
  luaL_checktype(L, 1, LUA_TSTRING);
  lua_settop(L, 1);
  size_t len = 0;
  const char* path = lua_tolstring(L, 1, &len);
  if (len == 0 || path[len - 1] != '.') {  // an object path either way
    lua_pushfstring(L, "%s.", path);
    lua_replace(L, 1);
  }
  return guarded<tree>(L);
}
int l_names(lua_State* L) {
  luaL_checktype(L, 1, LUA_TSTRING);
  return guarded<names>(L);
}
int l_set(lua_State* L) {
  if (lua_type(L, 1) == LUA_TSTRING)
    luaL_checkany(L, 2);
  else
    luaL_checktype(L, 1, LUA_TTABLE);
  return guarded<set>(L);
}
int l_add(lua_State* L) {
  luaL_checktype(L, 1, LUA_TSTRING);
  return guarded<add>(L);
}
int l_del(lua_State* L) {
  luaL_checktype(L, 1, LUA_TSTRING);
  return guarded<del>(L);
}
int l_execute(lua_State* L) {
  luaL_checktype(L, 1, LUA_TSTRING);
  if (!lua_isnoneornil(L, 2)) luaL_checktype(L, 2, LUA_TTABLE);
  return guarded<execute>(L);
}
int l_request(lua_State* L) {
  luaL_checktype(L, 1, LUA_TSTRING);
  if (!lua_isnoneornil(L, 2)) luaL_checktype(L, 2, LUA_TTABLE);
  return guarded<request>(L);
}

const luaL_Reg kFunctions[] = {
    {"get", l_get},         {"tree", l_tree},       {"names", l_names},     {"set", l_set},
    {"add", l_add},         {"del", l_del},         {"execute", l_execute},
    {"request", l_request}, {"listen", lua_device_listen}, {nullptr, nullptr},
};

int luaopen_velc_device(lua_State* L) {
  luaL_newlib(L, kFunctions);
  lua_pushlightuserdata(L, nullptr);
  lua_setfield(L, -2, "null");
  return 1;
}

// Protected: package.preload["velc.device"].
int register_preload(lua_State* L) {
  luaL_getsubtable(L, LUA_REGISTRYINDEX, LUA_PRELOAD_TABLE);
  lua_pushcfunction(L, luaopen_velc_device);
  lua_setfield(L, -2, "velc.device");
  return 0;
}

}  // namespace

int lua_device_register(lua_State* L) {
  if (!lua_checkstack(L, 1)) return -1;
  lua_pushcfunction(L, register_preload);
  if (lua_pcall(L, 0, 0, 0) == LUA_OK) return 0;
  lua_pop(L, 1);
  return -1;
}
