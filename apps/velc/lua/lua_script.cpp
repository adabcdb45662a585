#include "lua/lua_script.h"

#include <cstdio>
#include <memory>

#include "lua/device_interpreter.h"
#include "lua/lua_runner.h"
#include "platform/interrupt.h"
#include "platform/json.h"
#include "platform/script_file.h"

namespace {

// A Lua script is read whole before it runs; past this size (far beyond any script) the input
// is no script: `velc -S /dev/zero` stops instead of filling the memory.
constexpr size_t kLuaScriptMax = size_t{64} << 20;

// The whole content of `in`, or none when it is longer than kLuaScriptMax. Ctrl-C (under an
// InterruptScope) stops the reading.
std::optional<std::string> read_all(FILE* in) {
  std::string text;
  char buf[8192];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, in)) > 0) {
    k::interrupt_check();
    if (text.size() + n > kLuaScriptMax) return std::nullopt;
    text.append(buf, n);
  }
  return text;
}

}  // namespace

int run_lua_script(const std::optional<std::string>& path, json_t* parameters,
                   k::Connection* messaging, bool strict) {
  std::optional<std::string> file = path;
  size_t first_argument = 0;
  if (!file) {
    if (const char* first = k::json_array_text(parameters, 0)) file = first;
    if (json_array_size(parameters) > 0) first_argument = 1;
  }
  k::ScriptFile in = k::open_script_file(file ? &*file : nullptr);
  if (!in) return -1;
  std::optional<std::string> read = read_all(in.get());
  if (!read) {
    std::fprintf(stderr, "velc: %s: a Lua script longer than %zu bytes is not run\n",
                 file ? file->c_str() : "(standard input)", kLuaScriptMax);
    return -1;
  }
  std::string text = std::move(*read);
  in.reset();
  k::interrupt_check();  // Ctrl-C while standard input was read
  if (text.starts_with("#!")) {
    size_t newline = text.find('\n');
    if (newline != std::string::npos) text.erase(0, newline);
  }

  k::Json args = k::Json::take(json_array());
  for (size_t i = first_argument; i < json_array_size(parameters); ++i)
    json_array_append(args.get(), json_array_get(parameters, i));

  std::unique_ptr<k::LuaContext> interpreter = make_device_interpreter(messaging);
  k::LuaContext& ctx = *interpreter;
  // What the script prints goes out as it prints it; its error, if any, follows it.
  struct FlushAtEnd {
    ~FlushAtEnd() { std::fflush(stdout); }
  } flush;
  bool failed = ctx.exec(text, file ? *file : "stdin", args.get()) != 0;
  if (failed) {
    std::fwrite(ctx.error().data(), 1, ctx.error().size(), stdout);
    std::fputc('\n', stdout);
  }
  return failed && strict ? -1 : 0;
}
