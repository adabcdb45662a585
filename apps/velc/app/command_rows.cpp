#include "app/command_rows.h"

#include "datamodel/attributes.h"
#include "datamodel/execute.h"
#include "datamodel/instances.h"
#include "datamodel/listing.h"
#include "datamodel/navigation.h"
#include "datamodel/set.h"
#include "datamodel/values.h"
#include "device/debug.h"
#include "device/device_actions.h"
#include "datamodel/select.h"
#include "shell/system_shell.h"
#include "lua/lua_command.h"
#include "shell/help.h"
#include "shell/login_commands.h"
#include "shell/presentation.h"
#include "shell/record.h"
#include "transfer/download.h"

namespace {

using enum CompletionKind;

int cmd_help(Client& client, const std::string& name, json_t* args);

// Rows that share a method share their handlers (add/touch, attr/info, cat/get, del/rm); the
// first of them is the one the method's name selects. attr/info alone have a request handler of
// their own: request mode sends their paths as typed. The command numbers are fixed: scripts
// know commands by them. Each row names what Tab offers for its arguments (`completion`). A row
// whose line may carry a password is `sensitive`; `debug` asks for its password instead, and
// has no usage: `help` does not show it.
constexpr CommandEntry kRows[] = {
    command_row({.name = "add", .method = "AddObject", .id = 1, .handler = cmd_add,
                 .request_handler = cmd_add, .usage = "add <path>",
                 .description = "add a new instance to multi-instance object",
                 .needs_cache = true, .completion = kObjectPath}),
    command_row({.name = "attr", .method = "GetParameterAttributes", .id = 15,
                 .handler = cmd_attr, .request_handler = cmd_attr_request,
                 .usage = "attr [<path1> <path2>...]", .description = "show node's attributes",
                 .needs_cache = true, .at_position = true, .completion = kPath}),
    command_row({.name = "cd", .id = 4, .handler = cmd_cd, .usage = "cd <path>",
                 .description = "cd to the node", .needs_cache = true,
                 .completion = kObjectPath}),
    command_row({.name = "cat", .method = "GetParameterValues", .id = 2, .handler = cmd_cat,
                 .request_handler = cmd_cat, .usage = "cat [<path1> <path2>...]",
                 .description = "retrieve node's values", .needs_cache = true, .at_position = true,
                 .completion = kPath}),
    command_row({.name = "catree", .id = 3, .handler = cmd_catree,
                 .usage = "catree [<path1> <path2>...]",
                 .description = "retrieve node's values and print as tree", .needs_cache = true,
                 .completion = kPath}),
    command_row({.name = "clear", .id = 5, .handler = cmd_clear, .usage = "clear",
                 .description = "clear screen"}),
    command_row({.name = "color", .id = 6, .handler = cmd_color, .usage = "color [<type> <hsv>]",
                 .description = "manage color scheme", .completion = kColourType}),
    command_row({.name = "debug", .id = 8, .handler = cmd_debug, .request_handler = cmd_debug,
                 .completion = kDebugMode}),
    command_row({.name = "del", .method = "DeleteObject", .id = 7, .handler = cmd_del,
                 .request_handler = cmd_del, .usage = "del <path>",
                 .description = "delete instance from multi-instance object",
                 .needs_cache = true, .completion = kPath}),
    command_row({.name = "download", .method = "Download", .id = 9,
                 .handler = cmd_download, .request_handler = cmd_download,
                 .usage = "download <firmware|config|file> <path_to_file> [<target_file_name>]",
                 .description = "download a file to CPE and immediately apply if firmware|config",
                 .completion = kDownload}),
    command_row({.name = "get", .method = "GetParameterValues", .id = 2, .handler = cmd_cat,
                 .request_handler = cmd_cat, .usage = "get [<path1> <path2>...]",
                 .description = "same as 'cat'", .needs_cache = true, .at_position = true,
                 .completion = kPath}),
    command_row({.name = "help", .id = 14, .handler = cmd_help, .usage = "help",
                 .description = "show this message"}),
    command_row({.name = "info", .method = "GetParameterAttributes", .id = 15,
                 .handler = cmd_attr, .request_handler = cmd_attr_request,
                 .usage = "info <path> [<path2>...]", .description = "same as 'attr'",
                 .needs_cache = true, .at_position = true, .completion = kPath}),
    command_row({.name = "login", .id = 18, .handler = cmd_login, .request_handler = cmd_login,
                 .usage = "login [<username> [ -p <password>]]",
                 .description = "login as user <username> (or as $USER if empty)",
                 .sensitive = true}),
    command_row({.name = "logout", .id = 20, .handler = cmd_logout,
                 .request_handler = cmd_logout, .usage = "logout", .description = "logout"}),
    command_row({.name = "login_if_guest", .id = 19, .handler = cmd_login_if_guest,
                 .usage = "login_if_guest <username|token> [<password>]",
                 .description = "try login if not authorized", .sensitive = true}),
    command_row({.name = "ls", .method = "GetParameterNames", .id = 21, .handler = cmd_ls,
                 .request_handler = cmd_ls, .usage = "ls [-l] [<path1> <path2>...]",
                 .description = "list object's subnodes", .needs_cache = true, .at_position = true,
                 .completion = kPath}),
    command_row({.name = "lua", .method = "lua", .id = 22, .handler = cmd_lua,
                 .request_handler = cmd_lua, .usage = "lua [<Lua statement>]",
                 .description = "run Lua script (without arguments - enter Luamode)"}),
    command_row({.name = "luarecord", .id = 23, .handler = cmd_luarecord,
                 .usage = "luarecord <filename>",
                 .description = "create lua-script from Lua session", .completion = kRecord}),
    command_row({.name = "opt", .id = 25, .handler = cmd_opt, .request_handler = cmd_opt_request,
                 .usage = "opt autocomplete|hint|strict on|off",
                 .description = "enable/disable shell options", .completion = kOption}),
    command_row({.name = "order", .method = "ChangeOrder", .id = 26, .handler = cmd_order,
                 .request_handler = cmd_order, .usage = "order <path> <num>",
                 .description = "assign order number to instance", .needs_cache = true,
                 .completion = kFirstPath}),
    command_row({.name = "pwd", .id = 27, .handler = cmd_pwd, .usage = "pwd",
                 .description = "print current path"}),
    command_row({.name = "reboot", .method = "Reboot", .id = 28, .handler = cmd_reboot,
                 .request_handler = cmd_reboot, .usage = "reboot [-f] [<DeviceMode>]",
                 .description = "reboot device (force reboot with '-f')", .completion = kReboot}),
    command_row({.name = "reset", .method = "FactoryReset", .id = 30, .handler = cmd_reset,
                 .request_handler = cmd_reset, .usage = "reset",
                 .description = "reset device configuration to default",
                 .completion = kDeviceMode}),
    command_row({.name = "rm", .method = "DeleteObject", .id = 7, .handler = cmd_del,
                 .request_handler = cmd_del, .usage = "rm <path>", .description = "same as 'del'",
                 .needs_cache = true, .completion = kPath}),
    command_row({.name = "save", .method = "SaveConfig", .id = 33, .handler = cmd_save,
                 .request_handler = cmd_save, .usage = "save [<name>]",
                 .description = "save device configuration in NVRAM"}),
    command_row({.name = "select", .id = 34, .handler = cmd_select, .request_handler = cmd_select,
                 .usage = "select <path>", .description = "select config paths",
                 .completion = kPath}),
    command_row({.name = "set", .method = "SetParameterValues", .id = 35, .handler = cmd_set,
                 .request_handler = cmd_set, .usage = "set <path>=<value> [...]",
                 .description = "set parameters' values", .needs_cache = true,
                 .completion = kWritablePath}),
    command_row({.name = "record", .id = 29, .handler = cmd_record,
                 .usage = "record <filename>|abort",
                 .description = "create velc-script from current shell session",
                 .completion = kRecord}),
    command_row({.name = "sh", .id = 36, .handler = cmd_sh, .request_handler = cmd_sh,
                 .usage = "sh [<cmd> <...>]",
                 .description = "runs command (without arguments - run interactive shell",
                 .completion = kCommand}),
    command_row({.name = "touch", .method = "AddObject", .id = 1, .handler = cmd_add,
                 .request_handler = cmd_add, .usage = "touch <path>",
                 .description = "same as 'add'", .needs_cache = true,
                 .completion = kObjectPath}),
    command_row({.name = "take", .id = 37, .handler = cmd_take, .usage = "take <path>",
                 .description = "add a new instance to multi-instace object and cd to it",
                 .needs_cache = true, .completion = kObjectPath}),
    command_row({.name = "tree", .id = 38, .handler = cmd_tree, .usage = "tree [<path>]",
                 .description = "show node scheme in tree form", .needs_cache = true,
                 .completion = kObjectPath}),
    command_row({.name = "up", .id = 39, .handler = cmd_up, .usage = "up [<levels>]",
                 .description = "cd to upper level node", .needs_cache = true}),
    command_row({.name = "upgrade", .id = 40, .handler = cmd_upgrade,
                 .request_handler = cmd_upgrade, .usage = "upgrade <path_to_firmware>",
                 .description = "upgrade CPE firmware", .completion = kFile}),
    command_row({.name = "execute", .id = 12, .handler = cmd_execute,
                 .request_handler = cmd_execute,
                 .usage = "execute <path_to_method> [<rpath1>=<value1> <rpath2>=<value2>...]",
                 .description = "execute method", .needs_cache = true,
                 .completion = kMethodInput}),
};

int cmd_help(Client& client, const std::string&, json_t*) {
  return help_print(kRows, client.colours, client.out);
}

}  // namespace

CommandTable velc_commands() { return kRows; }
