#include "shell/command_table.h"

#include <cstdio>
#include <cstring>

#include "datamodel/schema.h"

namespace {

// The first row whose name or method equals the word.
const CommandEntry* find_row(CommandTable table, const char* word) {
  uint32_t h = k::string_hash(word);
  for (const CommandEntry& e : table) {
    if (e.name_hash == h && std::strcmp(e.name, word) == 0) return &e;
    if (e.method && e.method_hash == h && std::strcmp(e.method, word) == 0) return &e;
  }
  return nullptr;
}

// Runs a row's handler; under strict mode a success during which a request failed (its error was
// printed, or nothing at all) becomes -1.
int run_handler(CommandHandler handler, Client& client, const std::string& name, json_t* args) {
  Session& session = client.session;
  unsigned failed_before = session.failed_requests;
  int r = handler(client, name, args);
  if (session.strict && r >= 0 && session.failed_requests != failed_before) return -1;
  return r;
}

}  // namespace

const CommandEntry* command_find(CommandTable table, const char* word) {
  if (!word) return nullptr;
  if (std::strcmp(word, "?") == 0) word = "help";
  const CommandEntry* e = find_row(table, word);
  return e && e->handler ? e : nullptr;
}

const CommandEntry* command_find_request(CommandTable table, const char* word) {
  if (!word) return nullptr;
  const CommandEntry* e = find_row(table, word);
  return e && e->request_handler ? e : nullptr;
}

int command_dispatch(CommandTable table, Client& client, const char* word, json_t* args) {
  const CommandEntry* e = command_find(table, word);
  if (e && e->id != 0) {
    // The cache shows what veld holds now, for the user logged in now: the changes received
    // meanwhile are applied first.
    schema_follow_user(client);
    if (e->needs_cache) schema_apply_events(client);
    int r = run_handler(e->handler, client, e->name, args);
    // A command that changed the user shows the new user's view at once (the position with it).
    schema_follow_user(client);
    return r;
  }
  std::fprintf(client.out, "%s: command not found.\n", word ? word : "");
  return -1;
}

int request_dispatch(CommandTable table, Client& client, const char* word, json_t* args) {
  const CommandEntry* e = command_find_request(table, word);
  if (e && e->id != 0) return run_handler(e->request_handler, client, word, args);
  std::fprintf(client.out, "%s: unknown method.\n", word ? word : "");
  return -1;
}

void command_complete_names(CommandTable table, const char* prefix, std::vector<std::string>& out) {
  std::string_view p = prefix ? prefix : "";
  for (const CommandEntry& e : table) {
    if (std::string_view(e.name).starts_with(p)) out.emplace_back(e.name);
  }
}
