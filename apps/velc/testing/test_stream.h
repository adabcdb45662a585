// Test helper: printers write to a FILE*; tests hand them a temporary file and read back what
// each step wrote.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

// What was written to the temporary file `f` since it was last drained; empties it.
inline std::string drain(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string text;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
  std::rewind(f);
  if (ftruncate(fileno(f), 0) != 0) ADD_FAILURE() << "ftruncate";
  return text;
}

// A temporary file for the output of the code under test, closed at the end of the test.
struct TestStream {
  std::FILE* file = std::tmpfile();
  ~TestStream() { std::fclose(file); }
  std::string text() { return drain(file); }  // what was written since the last call
};
