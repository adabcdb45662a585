#include "lua/lua_shell.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "lua/device_interpreter.h"
#include "lua/lua_call.h"
#include "lua/lua_complete.h"
#include "lua/lua_eval.h"
#include "lua/lua_preload.h"
#include "lua/lua_record.h"
#include "lua/lua_runner.h"
#include "platform/history.h"
#include "platform/interrupt.h"
#include "platform/line_editor.h"
#include "platform/printable.h"
#include "platform/text.h"
#include "shell/line_loop.h"
#include "shell/line_source.h"
#include "shell/prompt.h"
#include "shell/record.h"

namespace {

// The shell's history entries, kept aside while the Lua shell has the editor's history, and put
// back exactly as they were at the end. They are also written to the shell's history file
// (`file`, unless empty) first, so that a session that ends inside the Lua shell keeps them.
class ShellEntriesAside {
 public:
  explicit ShellEntriesAside(const std::string& file) : entries_(k::history_entries()) {
    std::string why;
    if (!file.empty()) k::history_dump(file, -1, why);  // a refused file was reported at start
    k::history_clear();
  }
  ~ShellEntriesAside() {
    k::history_clear();
    for (const std::string& line : entries_) k::history_add(line);
  }
  ShellEntriesAside(const ShellEntriesAside&) = delete;
  ShellEntriesAside& operator=(const ShellEntriesAside&) = delete;

 private:
  std::vector<std::string> entries_;
};

// Protected: makes the global `_` the results table (argument 1) when it is nil; returns
// whether it did.
int set_results_global(lua_State* L) {
  const bool unset = lua_getglobal(L, "_") == LUA_TNIL;
  if (unset) {
    lua_pushvalue(L, 1);
    lua_setglobal(L, "_");
  }
  lua_pushboolean(L, unset);
  return 1;
}

// Protected: sets the global `_` to nil.
int clear_results_global(lua_State* L) {
  lua_pushnil(L);
  lua_setglobal(L, "_");
  return 0;
}

// One Lua shell session.
class LuaShell {
 public:
  explicit LuaShell(Client& client) : client_(client) {
    state_.colours = client.colours.enabled;
    state_.out = client.out;
    ctx_.set_output(client.out);
    state_.completion_state = ctx_.state();
    k::LineEditor* editor = input_.editor();
    if (!editor) return;  // lines read plainly: no completion
    editor->set_completion([this, editor](const std::string& before_cursor) {
      k::Completion c;
      c.fragment_start = lua_word_at(before_cursor, before_cursor.size()).start;
      c.candidates = lua_complete(ctx_.state(), before_cursor, before_cursor.size(), [editor] {
        editor->hide();  // the editor draws the line again below the message
      });
      return c;
    });
  }

  // Preloads the modules, then reads and runs statements until the user leaves.
  void run();

 private:
  lua_State* L() const { return ctx_.state(); }
  void show_prompt();
  bool handle_line(const std::string& line);
  void before_statement();
  void after_statement();
  void interrupted();
  void line_cancelled();

  Client& client_;
  std::unique_ptr<k::LuaContext> interpreter_ = make_device_interpreter(&client_.session.requests);
  k::LuaContext& ctx_ = *interpreter_;
  LuaPromptState state_;
  LineSource input_;
  std::optional<std::string> pending_;  // the lines of an unfinished statement
  std::string tag_ = "lua";
  bool results_global_ = false;  // the shell made `_` the results table
};

void LuaShell::show_prompt() {
  const k::ColourTable& colours = client_.colours;
  std::string prompt =
      pending_ ? "> " : prompt_text(client_.session, client_.view.current_path, prompt_tag(tag_));
  if (colours.escape) prompt = k::escape_controls(prompt);
  input_.show(prompt, prompt_colour(client_.session, colours), colours);
}

// `_` is the results table while a statement runs, unless the user gave `_` a value.
void LuaShell::before_statement() {
  const int top = lua_gettop(L());
  if (!lua_push_results(L(), state_) || !lua_checkstack(L(), 2)) {
    lua_settop(L(), top);
    return;
  }
  lua_pushcfunction(L(), set_results_global);
  lua_rotate(L(), -2, 1);
  if (lua_pcall(L(), 1, 1, 0) == LUA_OK && lua_toboolean(L(), -1)) results_global_ = true;
  lua_settop(L(), top);
}

void LuaShell::after_statement() {
  if (!results_global_ || !lua_checkstack(L(), 1)) return;
  lua_pushcfunction(L(), clear_results_global);
  if (lua_pcall(L(), 0, 0, 0) != LUA_OK) lua_pop(L(), 1);
}

// Ctrl-C stopped a statement: the pending text goes, the interpreter stays as it is.
void LuaShell::interrupted() {
  ctx_.reset_hook();
  k::g_interrupt_requested = 0;
  pending_.reset();
  std::fputc('\n', client_.out);
  std::fflush(client_.out);
}

// Ctrl-C at the prompt dropped the line: any unfinished statement goes too. (A completion that
// ran Lua code may have met it: the hook goes back to its sparse check.)
void LuaShell::line_cancelled() {
  ctx_.reset_hook();
  pending_.reset();
}

// Handles a finished line; false when it ends the Lua shell.
bool LuaShell::handle_line(const std::string& line) {
  if (line.empty()) return true;
  if (!pending_ && (line == "q" || line == "quit")) return false;
  if (pending_) {
    *pending_ += '\n';
    *pending_ += line;
  }
  std::fflush(client_.out);
  const std::string& text = pending_ ? *pending_ : line;
  LuaEvalResult result = kLuaEvalRun;
  bool as_expression = false;
  try {
    before_statement();
    result = lua_eval_line(L(), text, state_, &as_expression);
  } catch (const k::Interrupted&) {
    interrupted();
    return true;
  }
  std::fflush(client_.out);
  if (k::g_interrupt_requested) {
    interrupted();
    return true;
  }
  if (result == kLuaEvalIncomplete) {
    if (!pending_) pending_ = line;
    return true;
  }
  after_statement();
  tag_ = result == kLuaEvalWrong ? "lua(fail)" : "lua";
  // A statement typed with a leading blank runs but is not remembered (nor recorded).
  if (!k::is_blank(text[0])) {
    k::history_add(text);
    if (client_.record)
      record_line(*client_.record,
                  lua_record_statement(text, as_expression, result != kLuaEvalWrong));
  }
  pending_.reset();
  return true;
}

void LuaShell::run() {
  std::vector<std::string> modules;
  try {
    modules = lua_preload_modules(L(), client_.out);
  } catch (const k::Interrupted&) {
    std::fputc('\n', client_.out);
  }
  // A recording replays what the session had before its first statement.
  if (client_.record)
    for (const std::string& line : lua_record_preamble(modules)) record_line(*client_.record, line);
  std::fflush(client_.out);
  LineLoopHandlers handlers;
  handlers.show_prompt = [this] { show_prompt(); };
  handlers.line = [this](const std::string& line) { return handle_line(line); };
  handlers.cancelled = [this] { line_cancelled(); };
  run_line_loop(input_, client_.session, client_.colours, nullptr, handlers);
}

}  // namespace

std::string lua_history_path() {
  const char* path = std::getenv("VELC_LUA_HISTFILE");
  return path && *path ? path : "/tmp/.velc.lua.hist";
}

int lua_shell(Client& client) {
  std::fflush(client.out);
  // Ctrl-C stops a statement or drops the line, never the Lua shell.
  k::InterruptScope sigint;
  // Only the interactive shell (which has a recorder) owns the shell's history file.
  ShellEntriesAside shell_entries(client.record ? shell_history_path() : "");
  // A recording running in the shell goes on with the Lua session's statements and is written
  // from them when the Lua shell is left, as a Lua script: the shell's lines recorded so far
  // are dropped.
  if (client.record && recording_active(*client.record)) client.record->lines.clear();
  k::HistoryFile history(lua_history_path());  // written back before the shell's entries return
  LuaShell(client).run();
  if (client.record && recording_active(*client.record)) record_finish(*client.record);
  return 0;
}
