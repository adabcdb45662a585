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
#include "platform/script_file.h"

namespace {

// What reading one physical line found.
enum class Read { kLine, kTooLong, kEnd };

// Reads the next physical line of `in` into `line`, its newline included when there is one, but
// no more than kLineMax bytes before it: a longer line is not read further. Ctrl-C (under
// an InterruptScope) throws k::Interrupted, whether the read waits for input or a line of
// bytes keeps coming.
Read read_physical_line(FILE* in, std::string& line) {
  line.clear();
  while (true) {
    int c = getc_unlocked(in);
    if (c == EOF) {
      if (!ferror(in) || errno != EINTR) return line.empty() ? Read::kEnd : Read::kLine;
      // A signal cut the wait short: Ctrl-C ends the script, any other goes on reading.
      k::interrupt_check();
      clearerr(in);
      continue;
    }
    if (c == '\n') {
      line.push_back('\n');
      return Read::kLine;
    }
    if (line.size() == kLineMax) return Read::kTooLong;
    line.push_back(static_cast<char>(c));
    if (line.size() % 65536 == 0) k::interrupt_check();
  }
}

// How a script names its input in messages.
std::string input_name(const std::optional<std::string>& path) {
  return path ? *path : "(standard input)";
}

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

int run_script(const std::optional<std::string>& path, const ScriptDispatch& dispatch,
               FILE* out) {
  // Standard input is closed at the end too: nothing reads it after the script.
  k::ScriptFile in = k::open_script_file(path ? &*path : nullptr, out);
  if (!in) return -1;
  ScriptLineJoiner joiner;
  int status = 0;
  std::string read;
  while (true) {
    Read got = read_physical_line(in.get(), read);
    if (got == Read::kEnd) break;
    // Ctrl-C stops the script between lines even when no command blocks.
    k::interrupt_check();
    std::optional<std::string> text;
    if (got == Read::kLine) text = joiner.add(script_physical_line(read));
    if (got == Read::kTooLong || (text ? text->size() : joiner.size()) > kLineMax) {
      std::fflush(out);
      // Named by the physical line that begins it (the line not read in full, or the first of
      // the continued lines).
      size_t number = got == Read::kTooLong && !joiner.pending() ? joiner.lines() + 1
                                                                 : joiner.first_line();
      std::fprintf(stderr, "%s:%zu: line longer than %zu bytes\n", input_name(path).c_str(),
                   number, kLineMax);
      return -1;
    }
    if (!text) continue;

    ScriptLine line = script_line_parse(*text);
    switch (line.kind) {
      case ScriptLine::Kind::kNothing:
        break;
      case ScriptLine::Kind::kEcho:
        std::fwrite(line.echo.data(), 1, line.echo.size(), out);
        std::fputc('\n', out);
        break;
      case ScriptLine::Kind::kSleep:
        std::fflush(out);  // what came before shows while the script waits
        sleep_seconds(line.seconds);
        break;
      case ScriptLine::Kind::kCommand: {
        k::Json args = argument_array(line);
        if (!args || !k::json_str(line.words[0])) {
          std::fprintf(out, "Script line %zu is not UTF-8 text.\n", joiner.first_line());
          status = -1;
          break;
        }
        std::fflush(out);  // echoed text comes before what the command (or its child) prints
        status = dispatch(line.words[0].c_str(), args.get());
        break;
      }
    }
    if (status < 0) break;
  }
  // A read cut short by Ctrl-C ends the input early; it is no end of the script.
  k::interrupt_check();
  std::fflush(out);
  if (status >= 0 && joiner.pending() && joiner.open_quote()) {
    // Whatever followed the quote became part of one line that never ended.
    std::fprintf(stderr,
                 "%s:%zu: quote opened here is never closed; the rest of the file was not run\n",
                 input_name(path).c_str(), joiner.quote_line());
    return -1;
  }
  return status;
}
