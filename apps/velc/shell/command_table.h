// The command table: the single source for which words the shell accepts, which handler runs a
// word, which words request mode and script files accept, and what `help` prints.
#pragma once

#include <cstdint>
#include <string>

#include <jansson.h>

using CommandHandler = int (*)(const std::string& name, json_t* args);

struct CommandEntry {
  const char* name;
  const char* method;        // the management method the command stands for, or null
  uint32_t id;               // never 0; completion picks its rule by it
  CommandHandler handler;    // shell and configuration script; null: not available yet
  CommandHandler request_handler;  // request mode and script files; null: not available there
  const char* usage;
  const char* description;
};

inline constexpr size_t kCommandCount = 36;
extern const CommandEntry command_table[kCommandCount];

// Fills the lookup hashes of the rows (done by the first lookup).
void command_hashes_init();
// The row for a word typed in the shell ("?" is help); rows without a handler are not found.
const CommandEntry* command_find(const char* word);
// The row for a word of request mode and script files; only rows with a request handler.
const CommandEntry* command_find_request(const char* word);
// Runs a shell word; prints "%s: command not found." and gives -1 when there is no such row.
int command_dispatch(const char* word, json_t* args);
// Runs a request-mode word with the word as typed; prints "%s: unknown method." and gives -1.
int request_dispatch(const char* word, json_t* args);
// Appends the names of the rows that begin with `prefix` (all for null), in table order.
void command_complete_names(const char* prefix, json_t* out);
