// Test helpers of the shell's units: argument arrays and the text a call writes to stdout.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>

#include "platform/colors.h"
#include "platform/json.h"

namespace shell_test {

// A JSON array of strings.
inline k::Json args_of(std::initializer_list<const char*> words) {
  k::Json a = k::Json::take(json_array());
  for (const char* w : words) json_array_append_new(a.get(), json_string(w));
  return a;
}

// What `run` writes to standard output (colours off), and its status in `status`.
template <typename Fn>
std::string output_of(Fn run, int* status = nullptr) {
  k::colors_force(false);
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  int r = run();
  std::fflush(stdout);
  if (status) *status = r;
  return testing::internal::GetCapturedStdout();
}

}  // namespace shell_test
