#include "lua/lua_command.h"

#include <cstdio>

#include "lua/device_interpreter.h"
#include "lua/lua_runner.h"
#include "lua/lua_shell.h"
#include "platform/json.h"
#include "shell/record.h"

int cmd_lua(Client& client, const std::string&, json_t* args) {
  if (json_array_size(args) == 0) return lua_shell(client);
  std::unique_ptr<k::LuaContext> interpreter = make_device_interpreter(&client.session.requests);
  k::LuaContext& ctx = *interpreter;
  FILE* out = client.out;
  ctx.set_output(out);
  std::string statement;
  for (size_t i = 0; const char* word = k::json_array_text(args, i); ++i) {
    statement += word;
    statement += ' ';
  }
  // The echo shows before anything the statement itself writes to the terminal.
  std::fwrite(statement.data(), 1, statement.size(), out);
  std::fputc('\n', out);
  std::fflush(out);
  // What the statement prints goes out as it prints it; its error, if any, follows it.
  bool failed = ctx.exec(statement) != 0;
  if (failed) {
    std::fputs("LUA ERROR: ", out);
    std::fwrite(ctx.error().data(), 1, ctx.error().size(), out);
    std::fputc('\n', out);
  }
  std::fflush(out);
  // An error is the statement's outcome, not the command's, unless strict mode says otherwise.
  return failed && client.session.strict ? -1 : 0;
}

int cmd_luarecord(Client& client, const std::string& name, json_t* args) {
  if (cmd_record(client, name, args) < 0) return -1;
  return lua_shell(client);
}
