// Test helper: the Lua printer and evaluator write to a FILE*; tests hand them a temporary file
// and read back what each step wrote.
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
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  std::rewind(f);
  if (ftruncate(fileno(f), 0) != 0) ADD_FAILURE() << "ftruncate";
  return text;
}
