// Test helper: standard input (descriptor 0) replaced by a pipe that holds a given text and then
// ends, for code under test that reads the keyboard.
#pragma once

#include <unistd.h>

#include <string>

class StdinFeed {
 public:
  // `text` must fit a pipe's buffer (64 KiB): it is written before anybody reads.
  explicit StdinFeed(const std::string& text) {
    int ends[2];
    if (pipe(ends) != 0) return;
    [[maybe_unused]] ssize_t written = write(ends[1], text.data(), text.size());  // short: a shorter input
    close(ends[1]);
    saved_ = dup(STDIN_FILENO);
    dup2(ends[0], STDIN_FILENO);
    close(ends[0]);
  }
  ~StdinFeed() {
    if (saved_ < 0) return;
    dup2(saved_, STDIN_FILENO);
    close(saved_);
  }
  StdinFeed(const StdinFeed&) = delete;
  StdinFeed& operator=(const StdinFeed&) = delete;

 private:
  int saved_ = -1;
};
