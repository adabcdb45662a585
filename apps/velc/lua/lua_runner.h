// The embedded Lua 5.3 interpreter: a context that owns one Lua state with the standard libraries
// open, runs chunks in it and keeps the error they raise.
//
// Lua raises errors with longjmp (the C library is built as C). So every Lua call that can raise
// runs inside lua_pcall, and the C functions the runner gives Lua hold no object with a
// destructor when they raise: no Lua error ever unwinds a C++ frame.
#pragma once

#include <jansson.h>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

struct lua_State;

namespace k {

class Connection;

// Where the maker's Lua modules lie: $VELC_LUA_MODULES when set and not empty, else
// lib/lua/5.3/norlan beside the folder of the running program when it exists (where
// `cmake --install` puts them, and where a build folder has them), else "/usr/lib/lua/5.3/norlan".
std::string lua_module_dir();

// One interpreter. The state is closed when the context goes, however that happens.
//
// What a chunk prints with `print`, `io.write` or `io.stdout:write` goes to the context's output
// stream (standard output unless set_output names another) as it is printed, through that
// stream's stdio buffer: line by line on a terminal, in blocks into a pipe or a file (the caller
// flushes when the run ends). Nothing is held back in memory, so a script
// may print without bound, and what it printed before an error is out before the error.
// Every context also finds the maker's modules: `require("norlan.X")` searches lua_module_dir()
// for X.so (opened with luaopen_norlan_X), X.lua and X/init.lua, before Lua's own search paths.
//
// Ctrl-C: a count hook checks k::g_interrupt_requested every 1000 instructions of Lua code
// (in every coroutine of the state) and, when it is raised, raises the Lua error "interrupted!".
// The flag stays raised and the hook then checks at every instruction, so a chunk that catches
// that error with pcall meets it again at once, and the caller of lua_pcall sees the flag
// afterwards (exec throws k::Interrupted then). Lua code stuck in one long C call (a huge
// string.rep, a blocking read that restarts) is not stopped until it returns to Lua.
class LuaContext {
 public:
  // A fresh state with the standard libraries open. Throws std::bad_alloc when Lua cannot make
  // one.
  LuaContext();
  ~LuaContext();
  LuaContext(const LuaContext&) = delete;
  LuaContext& operator=(const LuaContext&) = delete;

  // The state, for code that works on it directly (the Lua shell's evaluator, completion).
  lua_State* state() const { return L_; }
  // The context that owns `L` (or one of its coroutines); none for a state made elsewhere.
  static LuaContext* of(lua_State* L);

  // Runs the Lua source `text` and gives 0, or non-zero when it could not be compiled or raised
  // an error. The error text is replaced by the error message (with a stack traceback when the
  // chunk raised it while running), or cleared.
  //
  // `chunk_name` is the script's file name: messages name lines as "<name>:<line>:". Without
  // one they name the text itself ([string "..."]:<line>:).
  // `arguments`, a JSON array of strings (other values are passed as their JSON text), are the
  // chunk's `...` and the global table `arg`: arg[0] is the chunk name (when there is one) and
  // arg[1..n] the arguments. Without an array the chunk gets no `...` and `arg` is left as it is.
  //
  // Binary (precompiled) chunks are refused. Throws k::Interrupted when Ctrl-C stopped the run
  // (under a k::InterruptScope); the error text is then "interrupted", and the state stays
  // usable.
  int exec(std::string_view text, const std::optional<std::string>& chunk_name = std::nullopt,
           json_t* arguments = nullptr);

  // Puts the Ctrl-C hook back to its sparse check, as after construction; exec does it after
  // every run, code that runs Lua itself calls it after an interrupted run.
  void reset_hook();

  // Sends what the chunks print from now on to `out` (`print`, and `io.write` and `io.stdout`,
  // which become a handle on `out` that Lua cannot close). The stream stays the caller's and
  // must outlive the context. Throws std::bad_alloc when Lua runs out of memory.
  void set_output(FILE* out);
  // Where `print` writes.
  FILE* output() const { return out_; }

  // The last run's error message; empty after a success.
  const std::string& error() const { return error_; }

  // The connection that the Lua code's requests use (the client's requests connection): set by
  // the client before any Lua code runs; none until then.
  Connection* messaging = nullptr;

 private:
  lua_State* L_ = nullptr;
  std::string error_;
  FILE* out_ = stdout;
};

}  // namespace k
