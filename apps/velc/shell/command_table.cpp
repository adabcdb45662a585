#include "shell/command_table.h"

#include <cstdio>
#include <cstring>

#include "platform/text.h"
#include "shell/command_handlers.h"

// Rows whose commands arrive later (attributes, login, device commands, transfers, Lua,
// recording, methods) have no handlers yet: the shell answers them "command not found".
const CommandEntry command_table[kCommandCount] = {
    {"add", "AddObject", 1, cmd_add, cmd_add, "add <path>",
     "add a new instance to multi-instance object"},
    {"attr", "GetParameterAttributes", 15, nullptr, nullptr, "attr [<path1> <path2>...]",
     "show node's attributes"},
    {"cd", nullptr, 4, cmd_cd, nullptr, "cd <path>", "cd to the node"},
    {"cat", "GetParameterValues", 2, cmd_cat, cmd_cat, "cat [<path1> <path2>...]",
     "retrieve node's values"},
    {"catree", nullptr, 3, cmd_catree, nullptr, "catree [<path1> <path2>...]",
     "retrieve node's values and print as tree"},
    {"clear", nullptr, 5, cmd_clear, nullptr, "clear", "clear screen"},
    {"color", nullptr, 6, cmd_color, nullptr, "color [<type> <hsv>]", "manage color scheme"},
    {"debug", nullptr, 8, nullptr, nullptr, nullptr, nullptr},
    {"del", "DeleteObject", 7, cmd_del, cmd_del, "del <path>",
     "delete instance from multi-instance object"},
    {"download", "Download", 9, nullptr, nullptr,
     "download <firmware|config|file> <path_to_file> [<target_file_name>]",
     "download a file to CPE and immediately apply if firmware|config"},
    {"get", "GetParameterValues", 2, cmd_cat, cmd_cat, "get [<path1> <path2>...]",
     "same as 'cat'"},
    {"help", nullptr, 14, cmd_help, nullptr, "help", "show this message"},
    {"info", "GetParameterAttributes", 15, nullptr, nullptr, "info <path> [<path2>...]",
     "same as 'attr'"},
    {"login", nullptr, 18, nullptr, nullptr, "login [<username> [ -p <password>]]",
     "login as user <username> (or as $USER if empty)"},
    {"logout", nullptr, 20, nullptr, nullptr, "logout", "logout"},
    {"login_if_guest", nullptr, 19, nullptr, nullptr,
     "login_if_guest <username|token> [<password>]", "try login if not authorized"},
    {"ls", "GetParameterNames", 21, cmd_ls, cmd_ls, "ls [-l] [<path1> <path2>...]",
     "list object's subnodes"},
    {"lua", "lua", 22, nullptr, nullptr, "lua [<Lua statement>]",
     "run Lua script (without arguments - enter Luamode)"},
    {"luarecord", nullptr, 23, nullptr, nullptr, "luarecord <filename>",
     "create lua-script from Lua session"},
    {"opt", nullptr, 25, cmd_opt, nullptr, "opt autocomplete|hint on|off",
     "enable/disable shell options"},
    {"order", "ChangeOrder", 26, cmd_order, cmd_order, "order <path> <num>",
     "assign order number to instance"},
    {"pwd", nullptr, 27, cmd_pwd, nullptr, "pwd", "print current path"},
    {"reboot", "Reboot", 28, nullptr, nullptr, "reboot [-f] [<DeviceMode>]",
     "reboot device (force reboot with '-f')"},
    {"reset", "FactoryReset", 30, nullptr, nullptr, "reset",
     "reset device configuration to default"},
    {"rm", "DeleteObject", 7, cmd_del, cmd_del, "rm <path>", "same as 'del'"},
    {"save", "SaveConfig", 33, nullptr, nullptr, "save [<name>]",
     "save device configuration in NVRAM"},
    {"select", nullptr, 34, nullptr, nullptr, "select <path>", "select config paths"},
    {"set", "SetParameterValues", 35, cmd_set, cmd_set, "set <path>=<value> [...]",
     "set parameters' values"},
    {"record", nullptr, 29, nullptr, nullptr, "record <filename>|abort",
     "create velc-script from current shell session"},
    {"sh", nullptr, 36, nullptr, nullptr, "sh [<cmd> <...>]",
     "runs command (without arguments - run interactive shell"},
    {"touch", "AddObject", 1, cmd_add, cmd_add, "touch <path>", "same as 'add'"},
    {"take", nullptr, 37, cmd_take, nullptr, "take <path>",
     "add a new instance to multi-instace object and cd to it"},
    {"tree", nullptr, 38, cmd_tree, nullptr, "tree [<path>]", "show node scheme in tree form"},
    {"up", nullptr, 39, cmd_up, nullptr, "up [<levels>]", "cd to upper level node"},
    {"upgrade", nullptr, 40, nullptr, nullptr, "upgrade <path_to_firmware>",
     "upgrade CPE firmware"},
    {"execute", nullptr, 12, nullptr, nullptr,
     "execute <path_to_method> [<rpath1>=<value1> <rpath2>=<value2>...]", "execute method"},
};

namespace {

// Hashes of each row's name and method, filled on the first lookup, so that a scan compares texts
// only where the hashes agree.
struct RowHashes {
  uint32_t name;
  uint32_t method;
};
RowHashes row_hashes[kCommandCount];
bool hashes_ready = false;

// The first row whose name or method equals the word.
const CommandEntry* find_row(const char* word) {
  if (!hashes_ready) command_hashes_init();
  uint32_t h = k::string_hash(word);
  for (size_t i = 0; i < kCommandCount; ++i) {
    const CommandEntry& e = command_table[i];
    if (row_hashes[i].name == h && std::strcmp(e.name, word) == 0) return &e;
    if (e.method && row_hashes[i].method == h && std::strcmp(e.method, word) == 0) return &e;
  }
  return nullptr;
}

}  // namespace

void command_hashes_init() {
  for (size_t i = 0; i < kCommandCount; ++i) {
    row_hashes[i].name = k::string_hash(command_table[i].name);
    row_hashes[i].method = command_table[i].method ? k::string_hash(command_table[i].method) : 0;
  }
  hashes_ready = true;
}

const CommandEntry* command_find(const char* word) {
  if (!word) return nullptr;
  if (std::strcmp(word, "?") == 0) word = "help";
  const CommandEntry* e = find_row(word);
  return e && e->handler ? e : nullptr;
}

const CommandEntry* command_find_request(const char* word) {
  if (!word) return nullptr;
  const CommandEntry* e = find_row(word);
  return e && e->request_handler ? e : nullptr;
}

int command_dispatch(const char* word, json_t* args) {
  const CommandEntry* e = command_find(word);
  if (e && e->id != 0) return e->handler(e->name, args);
  std::printf("%s: command not found.\n", word ? word : "");
  return -1;
}

int request_dispatch(const char* word, json_t* args) {
  const CommandEntry* e = command_find_request(word);
  if (e && e->id != 0) return e->request_handler(word, args);
  std::printf("%s: unknown method.\n", word ? word : "");
  return -1;
}

void command_complete_names(const char* prefix, json_t* out) {
  size_t n = prefix ? std::strlen(prefix) : 0;
  for (const CommandEntry& e : command_table) {
    if (std::strncmp(e.name, prefix ? prefix : "", n) == 0)
      json_array_append_new(out, json_string(e.name));
  }
}
