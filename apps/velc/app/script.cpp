#include "app/script.h"

#include <sys/types.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "app/script_lines.h"
#include "platform/interrupt.h"
#include "platform/json.h"

namespace {

// The script's input, closed however the run ends (standard input too: nothing reads it after
// the script).
struct InputCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using Input = std::unique_ptr<FILE, InputCloser>;

// getline's buffer, freed however the run ends.
struct LineBuffer {
  LineBuffer() = default;
  LineBuffer(const LineBuffer&) = delete;
  LineBuffer& operator=(const LineBuffer&) = delete;
  ~LineBuffer() { std::free(data); }
  char* data = nullptr;
  size_t capacity = 0;
};

// Sleeps `seconds`; a SIGINT under an InterruptScope ends the sleep with k::Interrupted.
void sleep_seconds(int seconds) {
  if (seconds <= 0) return;
  timespec left{seconds, 0};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) k::interrupt_check();
  k::interrupt_check();
}

// The argument array of a command line; none when a word is not UTF-8 text (it has no JSON
// string, and dropping it would run another command than the one written).
k::Json argument_array(const ScriptLine& line) {
  k::Json args = k::Json::take(json_array());
  for (size_t i = 1; i < line.words.size(); ++i) {
    k::Json word = k::json_str(line.words[i]);
    if (!word) return k::Json();
    json_array_append(args.get(), word.get());
  }
  return args;
}

}  // namespace

int run_script(const std::optional<std::string>& path, const ScriptDispatch& dispatch) {
  Input in(path ? std::fopen(path->c_str(), "r") : stdin);
  if (!in) {
    std::printf("Cannot open script file %s\n", path->c_str());
    return -1;
  }
  ScriptLineJoiner joiner;
  int status = 0;
  size_t line_number = 0, first_line = 0;  // the logical line's first physical line
  LineBuffer buffer;
  while (true) {
    ssize_t n = getline(&buffer.data, &buffer.capacity, in.get());
    if (n < 0) break;
    // Ctrl-C stops the script between lines even when no command blocks.
    k::interrupt_check();
    ++line_number;
    if (!joiner.pending()) first_line = line_number;
    std::optional<std::string> text =
        joiner.add(script_physical_line(std::string_view(buffer.data, static_cast<size_t>(n))));
    if (!text) continue;

    ScriptLine line = script_line_parse(*text);
    switch (line.kind) {
      case ScriptLine::Kind::kNothing:
        break;
      case ScriptLine::Kind::kEcho:
        std::fwrite(line.echo.data(), 1, line.echo.size(), stdout);
        std::fputc('\n', stdout);
        break;
      case ScriptLine::Kind::kSleep:
        std::fflush(stdout);  // what came before shows while the script waits
        sleep_seconds(line.seconds);
        break;
      case ScriptLine::Kind::kCommand: {
        k::Json args = argument_array(line);
        if (!args || !k::json_str(line.words[0])) {
          std::printf("Script line %zu is not UTF-8 text.\n", first_line);
          status = -1;
          break;
        }
        std::fflush(stdout);  // echoed text comes before what the command (or its child) prints
        status = dispatch(line.words[0].c_str(), args.get());
        break;
      }
    }
    if (status < 0) break;
  }
  // A read cut short by Ctrl-C ends the input early; it is no end of the script.
  k::interrupt_check();
  std::fflush(stdout);
  return status;
}
