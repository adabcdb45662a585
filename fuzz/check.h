// What the fuzz targets share: a check that stops the run with a message when a property of the
// code under test does not hold (libFuzzer then keeps the input as a crash), and the splitting
// of an input into lines.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

// Stops the run when `cond` is false, naming the property that failed.
#define FUZZ_CHECK(cond, ...)                                                       \
  do {                                                                              \
    if (!(cond)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s: ", __FILE__, __LINE__, #cond); \
      std::fprintf(stderr, __VA_ARGS__);                                            \
      std::fputc('\n', stderr);                                                     \
      std::abort();                                                                 \
    }                                                                               \
  } while (0)

namespace fuzz {

// The complete lines of `text` (each ended by "\n", which is not kept); what follows the last
// "\n" is returned in `rest`.
inline std::vector<std::string_view> complete_lines(std::string_view text, std::string_view* rest) {
  std::vector<std::string_view> lines;
  for (size_t nl; (nl = text.find('\n')) != std::string_view::npos; text.remove_prefix(nl + 1))
    lines.push_back(text.substr(0, nl));
  if (rest) *rest = text;
  return lines;
}

// Sends the process's standard output to /dev/null: some code under test prints what a user
// would see, which only slows a fuzzing run. libFuzzer reports on standard error.
inline void silence_stdout() {
  std::fflush(stdout);
  int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null_fd >= 0) {
    dup2(null_fd, STDOUT_FILENO);
    close(null_fd);
  }
}

}  // namespace fuzz
