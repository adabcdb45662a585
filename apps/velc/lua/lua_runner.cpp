#include "lua/lua_runner.h"

#include <lua.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <vector>

#include "platform/interrupt.h"
#include "platform/json.h"

namespace k {

namespace {

// The registry key under which a state keeps its context.
const char kContextKey = 0;

constexpr int kHookInstructions = 1000;

// `print`: the values as `tostring` shows them, separated by tabs, and a newline, written to
// the context's output stream through its stdio buffer. Lua's own `print` flushes after every
// line, which costs a write for each line into a pipe or a file; this one leaves the buffering to
// stdio (line buffered on a terminal, block buffered elsewhere), like `io.write`, whose output it
// shares.
int buffered_print(lua_State* L) {
  LuaContext* ctx = LuaContext::of(L);
  FILE* out = ctx ? ctx->output() : stdout;
  int n = lua_gettop(L);
  for (int i = 1; i <= n; ++i) {
    size_t len = 0;
    const char* s = luaL_tolstring(L, i, &len);
    if (i > 1) std::fputc('\t', out);
    std::fwrite(s, 1, len, out);
    lua_pop(L, 1);
  }
  std::fputc('\n', out);
  return 0;
}

// The `close` of an output handle: the stream is not Lua's to close, so the handle stays open,
// as io.stdout does.
int keep_open(lua_State* L) {
  auto* handle = static_cast<luaL_Stream*>(luaL_checkudata(L, 1, LUA_FILEHANDLE));
  handle->closef = keep_open;
  lua_pushnil(L);
  lua_pushliteral(L, "cannot close standard file");
  return 2;
}

// Makes a file handle on the stream (argument 1) the io library's default output and its
// `io.stdout` (protected: it may raise).
int install_output(lua_State* L) {
  FILE* out = static_cast<FILE*>(lua_touserdata(L, 1));
  auto* handle = static_cast<luaL_Stream*>(lua_newuserdata(L, sizeof(luaL_Stream)));
  handle->closef = nullptr;  // a closed handle until it is complete
  luaL_setmetatable(L, LUA_FILEHANDLE);
  handle->f = out;
  handle->closef = keep_open;
  if (lua_getglobal(L, "io") != LUA_TTABLE) return 0;
  lua_pushvalue(L, -2);
  lua_setfield(L, -2, "stdout");
  lua_getfield(L, -1, "output");  // io.output(handle): where io.write writes
  lua_pushvalue(L, -3);
  lua_call(L, 1, 0);
  return 0;
}

// Run once in every new state, with the module folder as its argument: a searcher that finds
// "norlan.X" in the module folder.
constexpr char kPrelude[] = R"lua(
local dir = ...
local function checked(name, file, loader, err)
  if not loader then
    error(("error loading module '%s' from file '%s':\n\t%s"):format(name, file, err), 0)
  end
  return loader, file
end
table.insert(package.searchers, 2, function(name)
  local short = name:match("^norlan%.(.+)$")
  if not short then return nil end
  local file = package.searchpath(short, dir .. "/?.so")
  if file then
    return checked(name, file, package.loadlib(file, "luaopen_" .. (name:gsub("%.", "_"))))
  end
  file = package.searchpath(short, dir .. "/?.lua;" .. dir .. "/?/init.lua")
  if file then return checked(name, file, loadfile(file, "t")) end
  return ("\n\tno module '%s' in '%s'"):format(short, dir)
end)
)lua";

struct Setup {
  LuaContext* ctx;
  const std::string* module_dir;
};

// Opens the libraries and installs the capture and the searcher (protected: it may raise).
int open_state(lua_State* L) {
  const auto* setup = static_cast<const Setup*>(lua_touserdata(L, 1));
  luaL_openlibs(L);
  lua_pushlightuserdata(L, setup->ctx);
  lua_rawsetp(L, LUA_REGISTRYINDEX, &kContextKey);
  lua_pushcfunction(L, buffered_print);
  lua_setglobal(L, "print");
  if (luaL_loadbufferx(L, kPrelude, sizeof kPrelude - 1, "=prelude", "t") != LUA_OK)
    return lua_error(L);
  lua_pushlstring(L, setup->module_dir->data(), setup->module_dir->size());
  lua_call(L, 1, 0);
  return 0;
}

// Raises "interrupted!" while Ctrl-C's flag is up. From then on the hook runs at every
// instruction of the thread and of the main thread, so that a pcall in a loop cannot catch
// every error it raises: the loop's own next instruction raises it again.
void on_count(lua_State* L, lua_Debug*) {
  if (!g_interrupt_requested) return;
  lua_sethook(L, on_count, LUA_MASKCOUNT, 1);
  lua_rawgeti(L, LUA_REGISTRYINDEX, LUA_RIDX_MAINTHREAD);
  lua_sethook(lua_tothread(L, -1), on_count, LUA_MASKCOUNT, 1);
  lua_pop(L, 1);
  luaL_error(L, "interrupted!");
}

// The message handler of a run: the error message and a stack traceback.
int traceback(lua_State* L) {
  const char* msg = lua_tostring(L, 1);
  if (!msg) {
    if (luaL_callmeta(L, 1, "__tostring") && lua_type(L, -1) == LUA_TSTRING) return 1;
    msg = lua_pushfstring(L, "(error object is a %s value)", luaL_typename(L, 1));
  }
  luaL_traceback(L, L, msg, 1);
  return 1;
}

// What `exec` hands to load_chunk.
struct Chunk {
  std::string_view text;
  const char* name;                        // Lua's chunk name: "@file", or the text
  const std::string* arg0;                 // the file name, or null
  const std::vector<std::string>* args;    // null: no arguments
};

// Compiles the chunk and pushes it with its arguments; sets `arg` (protected: it may raise).
int load_chunk(lua_State* L) {
  const auto* c = static_cast<const Chunk*>(lua_touserdata(L, 1));
  lua_settop(L, 0);
  if (luaL_loadbufferx(L, c->text.data(), c->text.size(), c->name, "t") != LUA_OK)
    return lua_error(L);
  if (!c->args) return 1;
  int n = static_cast<int>(c->args->size());
  luaL_checkstack(L, n + 3, "too many arguments");
  lua_createtable(L, n, 1);
  if (c->arg0) {
    lua_pushlstring(L, c->arg0->data(), c->arg0->size());
    lua_rawseti(L, -2, 0);
  }
  for (int i = 0; i < n; ++i) {
    const std::string& a = (*c->args)[static_cast<size_t>(i)];
    lua_pushlstring(L, a.data(), a.size());
    lua_rawseti(L, -2, i + 1);
  }
  lua_setglobal(L, "arg");
  for (const std::string& a : *c->args) lua_pushlstring(L, a.data(), a.size());
  return n + 1;
}

// The error object at the top of the stack as text (it is a string but for odd cases).
std::string error_text(lua_State* L) {
  if (lua_type(L, -1) == LUA_TSTRING) {
    size_t n = 0;
    const char* s = lua_tolstring(L, -1, &n);
    return std::string(s, n);
  }
  return std::string("(error object is a ") + luaL_typename(L, -1) + " value)";
}

}  // namespace

std::string lua_module_dir() {
  const char* dir = std::getenv("VELC_LUA_MODULES");
  if (dir && *dir) return dir;
  // BIN/velc finds BIN/../lib/lua/5.3/norlan: installed under any prefix, or in a build folder,
  // velc takes the modules that came with it; /usr/bin/velc ends at the device's own folder.
  std::error_code error;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    std::filesystem::path beside = program.parent_path().parent_path() / "lib/lua/5.3/norlan";
    if (std::filesystem::is_directory(beside, error)) return beside.string();
  }
  return "/usr/lib/lua/5.3/norlan";
}

LuaContext::LuaContext() {
  L_ = luaL_newstate();
  if (!L_) throw std::bad_alloc();
  std::string dir = lua_module_dir();
  Setup setup{this, &dir};
  lua_pushcfunction(L_, open_state);
  lua_pushlightuserdata(L_, &setup);
  if (lua_pcall(L_, 1, 0, 0) != LUA_OK) {
    std::string why = error_text(L_);
    lua_close(L_);
    throw std::runtime_error("cannot open the Lua libraries: " + why);
  }
  reset_hook();
}

void LuaContext::reset_hook() {
  // Coroutines take the hook over from the thread that creates them.
  lua_sethook(L_, on_count, LUA_MASKCOUNT, kHookInstructions);
}

LuaContext::~LuaContext() { lua_close(L_); }

void LuaContext::set_output(FILE* out) {
  lua_pushcfunction(L_, install_output);
  lua_pushlightuserdata(L_, out);
  if (lua_pcall(L_, 1, 0, 0) != LUA_OK) {
    lua_pop(L_, 1);
    throw std::bad_alloc();
  }
  out_ = out;
}

LuaContext* LuaContext::of(lua_State* L) {
  lua_rawgetp(L, LUA_REGISTRYINDEX, &kContextKey);  // neither allocates nor raises
  auto* ctx = static_cast<LuaContext*>(lua_touserdata(L, -1));
  lua_pop(L, 1);
  return ctx;
}

int LuaContext::exec(std::string_view text, const std::optional<std::string>& chunk_name,
                     json_t* arguments) {
  error_.clear();
  // Without a file name, messages name the text itself, as luaL_loadstring's do.
  std::string name = chunk_name ? "@" + *chunk_name : std::string(text);
  std::vector<std::string> args;
  if (arguments) {
    for (size_t i = 0; i < json_array_size(arguments); ++i) {
      json_t* a = json_array_get(arguments, i);
      args.push_back(json_is_string(a) ? std::string(json_string_value(a), json_string_length(a))
                                       : json_dump(a, JSON_ENCODE_ANY | JSON_COMPACT));
    }
  }
  Chunk chunk{text, name.c_str(), chunk_name ? &*chunk_name : nullptr,
              arguments ? &args : nullptr};

  int base = lua_gettop(L_);
  if (!lua_checkstack(L_, 3)) {
    error_ = "stack overflow";
    return LUA_ERRMEM;
  }
  lua_pushcfunction(L_, traceback);  // at base + 1
  lua_pushcfunction(L_, load_chunk);
  lua_pushlightuserdata(L_, &chunk);
  int r = lua_pcall(L_, 1, LUA_MULTRET, 0);  // compile errors need no traceback
  if (r == LUA_OK) r = lua_pcall(L_, lua_gettop(L_) - base - 2, 0, base + 1);
  if (r != LUA_OK) error_ = error_text(L_);
  lua_settop(L_, base);
  reset_hook();
  if (g_interrupt_requested) {
    error_ = "interrupted";
    interrupt_check();
  }
  return r;
}

}  // namespace k
