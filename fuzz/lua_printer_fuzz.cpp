// Fuzzes the Lua value printer on values built from the input: nested tables, tables stored in
// several places (shared tables and cycles), strings of any bytes, integers and floats of any
// bits, functions, userdata, threads, and metatables whose "__tostring" or "__index" return odd
// values or raise errors.
//
// Input: a program of one-byte operations with their operand bytes (see build_values), at most
// kMaxInput bytes. Properties checked, for every value built:
// - lua_value_to_text leaves the Lua stack as it was, and the text is bounded: at most
//   kBytesPerInputByte bytes per input byte, doubled for every extra store of a table;
// - rendering the value again gives the same text (the buffer is reused from empty);
// - a string rendered in its quoted form on one line reads back in Lua as the same bytes;
// - lua_call_and_print of a function that returns the values prints one numbered line per value
//   and leaves the stack as it was.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "check.h"
#include "lua/lua_call.h"
#include "lua/lua_printer.h"

namespace {

constexpr size_t kMaxInput = 1024;
constexpr int kMaxValues = 48;
constexpr int kMaxExtraTableStores = 6;
constexpr size_t kBytesPerInputByte = 2048;
constexpr size_t kMaxString = 32;

// Reads operand bytes; past the end every byte is 0.
struct Reader {
  const uint8_t* data;
  size_t size;
  size_t pos = 0;
  bool done() const { return pos >= size; }
  uint8_t byte() { return pos < size ? data[pos++] : 0; }
  uint64_t u64() {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = v << 8 | byte();
    return v;
  }
};

int tostring_text(lua_State* L) {
  lua_pushliteral(L, "T\x1b[1mbold\x1b[22m");
  return 1;
}
int tostring_number(lua_State* L) {
  lua_pushnumber(L, 2.5);
  return 1;
}
int tostring_table(lua_State* L) {
  lua_newtable(L);
  return 1;
}
int raise_error(lua_State* L) { return luaL_error(L, "raised"); }

// Returns every value of the pool (upvalue 1), in order.
int return_pool(lua_State* L) {
  const int n = static_cast<int>(lua_rawlen(L, lua_upvalueindex(1)));
  luaL_checkstack(L, n, "pool");
  for (int i = 1; i <= n; ++i) lua_rawgeti(L, lua_upvalueindex(1), i);
  return n;
}

// Builds values into the pool table at stack slot `pool`; returns the number of extra stores of
// tables (a table stored where one was stored before).
int build_values(lua_State* L, int pool, Reader& in) {
  int extra_stores = 0;
  lua_newtable(L);  // table -> times stored, to count the extra stores
  const int stored = lua_gettop(L);
  auto count = [&]() { return static_cast<int>(lua_rawlen(L, pool)); };
  auto add = [&]() {  // the value on top joins the pool
    if (count() < kMaxValues)
      lua_rawseti(L, pool, count() + 1);
    else
      lua_pop(L, 1);
  };
  auto pick = [&](uint8_t b) { return count() ? 1 + b % count() : 0; };
  while (!in.done()) {
    const uint8_t op = in.byte();
    switch (op % 12) {
      case 0:
        if (op & 0x10) lua_pushboolean(L, op & 0x20); else lua_pushnil(L);
        add();
        break;
      case 1: lua_pushinteger(L, static_cast<lua_Integer>(in.u64())); add(); break;
      case 2: {
        const uint64_t bits = in.u64();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        lua_pushnumber(L, (op & 0x10) ? static_cast<double>(in.byte()) + d * 1e-300 : d);
        add();
        break;
      }
      case 3: {
        const size_t n = in.byte() % (kMaxString + 1);
        std::string s;
        for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>(in.byte()));
        lua_pushlstring(L, s.data(), s.size());
        add();
        break;
      }
      case 4: lua_newtable(L); add(); break;
      case 5:
      case 6:
      case 7: {  // t[key] = value, t[#t + 1] = value, t[#t + 1] = a new table
        const int t = pick(in.byte());
        const int k = op % 12 == 5 ? pick(in.byte()) : 0;
        const int v = op % 12 == 7 ? 0 : pick(in.byte());
        if (!t) break;
        lua_rawgeti(L, pool, t);
        if (!lua_istable(L, -1)) {
          lua_pop(L, 1);
          break;
        }
        const int table = lua_gettop(L);
        if (op % 12 == 5) {
          lua_rawgeti(L, pool, k);
          if (lua_isnil(L, -1) || (lua_type(L, -1) == LUA_TNUMBER && std::isnan(lua_tonumber(L, -1)))) {
            lua_settop(L, table - 1);
            break;
          }
        } else {
          lua_pushinteger(L, static_cast<lua_Integer>(lua_rawlen(L, table)) + 1);
        }
        if (op % 12 == 7) {
          lua_newtable(L);
          lua_pushvalue(L, -1);
          add();
        } else {
          lua_rawgeti(L, pool, v);
        }
        if (lua_istable(L, -1)) {
          lua_pushvalue(L, -1);
          const lua_Integer times = lua_rawget(L, stored) == LUA_TNUMBER ? lua_tointeger(L, -1) : 0;
          lua_pop(L, 1);
          if (times > 0 && extra_stores == kMaxExtraTableStores) {
            lua_settop(L, table - 1);
            break;
          }
          extra_stores += times > 0;
          lua_pushvalue(L, -1);
          lua_pushinteger(L, times + 1);
          lua_rawset(L, stored);
        }
        lua_rawset(L, table);
        lua_settop(L, table - 1);
        break;
      }
      case 8: {  // a metatable with "__tostring" or "__index"
        const int t = pick(in.byte());
        const uint8_t kind = in.byte();
        if (!t) break;
        lua_rawgeti(L, pool, t);
        if (!lua_istable(L, -1)) {
          lua_pop(L, 1);
          break;
        }
        lua_newtable(L);
        static const lua_CFunction functions[] = {tostring_text, tostring_number, tostring_table,
                                                  raise_error};
        lua_pushcfunction(L, functions[kind % 4]);
        lua_setfield(L, -2, (kind & 0x10) ? "__index" : "__tostring");
        lua_setmetatable(L, -2);
        lua_pop(L, 1);
        break;
      }
      case 9: lua_pushcfunction(L, raise_error); add(); break;
      case 10:
        if (op & 0x10) lua_newuserdata(L, 1); else lua_pushlightuserdata(L, &extra_stores);
        add();
        break;
      case 11: lua_newthread(L); add(); break;
    }
  }
  lua_settop(L, stored - 1);
  return extra_stores;
}

void check_string_reads_back(lua_State* L, int index, const std::string& text) {
  if (text.empty() || text[0] != '"' || text.find('\n') != std::string::npos) return;
  size_t n = 0;
  const char* s = lua_tolstring(L, index, &n);
  const std::string chunk = "return " + text;
  FUZZ_CHECK(luaL_loadstring(L, chunk.c_str()) == LUA_OK, "quoted text %s does not load",
             text.c_str());
  FUZZ_CHECK(lua_pcall(L, 0, 1, 0) == LUA_OK, "quoted text %s does not run", text.c_str());
  size_t m = 0;
  const char* back = lua_tolstring(L, -1, &m);
  FUZZ_CHECK(back && m == n && std::memcmp(back, s, n) == 0, "%s reads back otherwise",
             text.c_str());
  lua_pop(L, 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool silenced = (fuzz::silence_stdout(), true);
  (void)silenced;
  if (size > kMaxInput) size = kMaxInput;
  lua_State* L = luaL_newstate();
  lua_newtable(L);
  const int pool = lua_gettop(L);
  Reader in{data, size};
  const int extra_stores = build_values(L, pool, in);
  const size_t bound = kBytesPerInputByte * (size + 1) << extra_stores;

  static TextBuffer buffer;  // one buffer for the run, as in the program
  const int n = static_cast<int>(lua_rawlen(L, pool));
  for (int i = 1; i <= n; ++i) {
    lua_rawgeti(L, pool, i);
    const int top = lua_gettop(L);
    const std::string text = lua_value_to_text(L, -1, buffer);
    FUZZ_CHECK(lua_gettop(L) == top, "the stack went from %d to %d", top, lua_gettop(L));
    FUZZ_CHECK(text.size() <= bound, "value %d: %zu bytes of text, bound %zu", i, text.size(), bound);
    FUZZ_CHECK(lua_value_to_text(L, -1, buffer) == text, "value %d renders otherwise again", i);
    if (lua_type(L, -1) == LUA_TSTRING) check_string_reads_back(L, top, text);
    lua_pop(L, 1);
  }

  LuaPromptState state;
  state.out = std::fopen("/dev/null", "w");
  state.err = state.out;
  FUZZ_CHECK(state.out, "cannot open /dev/null");
  lua_pushvalue(L, pool);
  lua_pushcclosure(L, return_pool, 1);
  FUZZ_CHECK(lua_call_and_print(L, state) == LUA_OK, "returning the values failed");
  FUZZ_CHECK(state.result_counter == n, "%d results numbered for %d values", state.result_counter, n);
  FUZZ_CHECK(lua_gettop(L) == pool, "the stack is %d after the call, not %d", lua_gettop(L), pool);
  std::fclose(state.out);
  lua_close(L);
  return 0;
}
