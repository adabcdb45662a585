// The command table's type, its lookups and the two dispatchers. The table is the single source
// for which words the shell accepts, which handler runs a word, which words request mode accepts,
// and what `help` prints. The rows themselves are the program's (app/command_rows.h): they name
// handlers of every layer, and reach the shell and request mode as an argument.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <jansson.h>

#include "shell/client.h"
#include "platform/text.h"

// Runs a command: the command name (as the dispatcher passes it) and the argument array (a
// borrowed JSON array of strings, without the command word). 0 on success, negative on failure.
using ShellHandler = int (*)(Client& client, const std::string& name, json_t* args);
// The same for a handler of a layer below the shell, which takes the command context only.
using ContextHandler = int (*)(CommandContext& context, const std::string& name, json_t* args);

// A row's handler: either kind, so that the rows name every layer's handlers as they are.
class CommandHandler {
 public:
  // None: the row does not run in that mode.
  constexpr CommandHandler() = default;
  constexpr CommandHandler(std::nullptr_t) {}
  // Implicit, so that a row names either kind of handler as it is.
  constexpr CommandHandler(ShellHandler handler) : shell_(handler) {}
  constexpr CommandHandler(ContextHandler handler) : context_(handler) {}

  // True when there is a handler.
  explicit operator bool() const { return shell_ || context_; }
  bool operator==(const CommandHandler&) const = default;
  // Runs the handler; a lower layer's gets the client's command context.
  int operator()(Client& client, const std::string& name, json_t* args) const {
    return shell_ ? shell_(client, name, args) : context_(client, name, args);
  }

 private:
  ShellHandler shell_ = nullptr;
  ContextHandler context_ = nullptr;
};

// What the shell offers for the arguments of the command (Tab and hints): the rule of its row.
enum class CompletionKind {
  kNone,          // nothing
  kPath,          // data-model paths, at every argument
  kObjectPath,    // paths of objects only (no parameters), at every argument
  kWritablePath,  // paths without read-only parameters; after "<path>=", the parameter's values
  kFirstPath,     // a path as the first argument only
  kMethodInput,   // a method's path, then the method's input arguments
  kColourType,    // the colour scheme's entries (first argument)
  kDebugMode,     // the debug modes (first argument)
  kDownload,      // what to download, then a local file
  kRecord,        // "abort" or a local file (first argument)
  kOption,        // the shell's option, then "on" or "off"
  kReboot,        // "-f" and the device modes, each offered until one is given
  kDeviceMode,    // the device modes (first argument)
  kCommand,       // a program along PATH, then local files
  kFile,          // local files, at every argument
};

// One row of the table.
struct CommandEntry {
  const char* name;                  // the command word, unique in the table
  const char* method = nullptr;      // the management method it stands for; the word selects it too
  uint32_t id = 0;                   // the command's number; never 0
  CommandHandler handler = nullptr;  // runs it in the shell
  CommandHandler request_handler = nullptr;  // runs it in request mode; none: not available there
  const char* usage = nullptr;        // the synopsis `help` shows; none: `help` leaves it out
  const char* description = nullptr;  // the explanation `help` shows
  bool sensitive = false;    // the line is never written to the history (it may hold a secret)
  bool needs_cache = false;  // works on the schema cache: queued changes are applied before it
  bool at_position = false;  // given no path, it works on the current position (ls, cat, attr)
  CompletionKind completion = CompletionKind::kNone;
  uint32_t name_hash = 0;    // string_hash of name and method, so that a lookup compares texts
  uint32_t method_hash = 0;  // only where the hashes agree (filled by command_row)
};

// A row with its hashes filled; usable in a constant table.
constexpr CommandEntry command_row(CommandEntry e) {
  e.name_hash = k::string_hash(e.name);
  e.method_hash = e.method ? k::string_hash(e.method) : 0;
  return e;
}

// The rows, in lookup order: where two rows share a method, the first wins.
using CommandTable = std::span<const CommandEntry>;

// The row for a word typed in the shell ("?" is help): the first row whose name or method is the
// word, when it has a shell handler. None otherwise.
const CommandEntry* command_find(CommandTable table, const char* word);
// The row for a word of request mode: the first row whose name or method is the word, when it
// has a request handler.
const CommandEntry* command_find_request(CommandTable table, const char* word);
// Runs a shell word with the row's name, after applying the queued data-model changes when the
// command needs the cache; a cache made for another user is reset before and after the command.
// Prints "%s: command not found." and gives -1 when no row qualifies. Under strict mode
// (Session::strict) a command that gives 0 or more although one of its requests failed gives
// -1; request_dispatch does the same.
int command_dispatch(CommandTable table, Client& client, const char* word, json_t* args);
// Runs a request-mode word with the word as typed; prints "%s: unknown method." and gives -1.
int request_dispatch(CommandTable table, Client& client, const char* word, json_t* args);
// Appends to `out`, in table order, the name of every row that begins with `prefix` (bytes
// compared over the prefix's length; none: every row). Methods' names are never offered.
void command_complete_names(CommandTable table, const char* prefix, std::vector<std::string>& out);
