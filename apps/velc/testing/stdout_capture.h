// Test helper: collects what the code under test writes to standard output (descriptor 1), or to
// another standard stream, so that tests compare exact texts.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

#include "testing/test_stream.h"

class StdoutCapture {
 public:
  explicit StdoutCapture(std::FILE* stream = stdout) : stream_(stream), fd_(fileno(stream)) {
    std::fflush(stream_);
    file_ = std::tmpfile();
    saved_ = dup(fd_);
    dup2(fileno(file_), fd_);
  }
  ~StdoutCapture() { finish(); }
  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;

  // Restores standard output and returns everything written since the capture began.
  std::string finish() {
    if (!file_) return text_;
    std::fflush(stream_);
    dup2(saved_, fd_);
    close(saved_);
    text_ = drain(file_);
    std::fclose(file_);
    file_ = nullptr;
    return text_;
  }

 private:
  std::FILE* stream_;
  int fd_;
  std::FILE* file_ = nullptr;
  int saved_ = -1;
  std::string text_;
};

// What `fn` writes to standard output.
template <typename Fn>
std::string output_of(Fn fn) {
  StdoutCapture capture;
  fn();
  return capture.finish();
}
