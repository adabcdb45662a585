// Test harness: a veld-sim in a private temporary folder, and velc runs against it.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "testing/temp_dir.h"

namespace e2e {

// Where the programs under test are (VELC_BIN, set by CMake) and the source tree (VELC_SOURCE, by default the one built from).
std::string bin_dir();
std::string source_dir();

// The words that execute `words` (a program and its arguments) from a test. In a cross build,
// ctest sets VELC_EMULATOR to the emulator's command (qemu and its options, separated by spaces):
// a program built here, or a script whose "#!" names one, then runs under it, since the kernel
// cannot execute it. Anything else (the machine's /bin/sh, a build tool) runs as it is.
std::vector<std::string> command(std::vector<std::string> words);

// A running veld-sim on a socket in its own temporary folder; stopped with SIGTERM at the end.
// Unless `extra` gives --access, it serves the default model without its accounts: guests may do
// everything (models/open-access.json).
class Emulator {
 public:
  // `extra` are further options (--hosts 5, --delay 500, ...). A request log is always kept.
  // `program` is the veld-sim to start (default: the one in bin_dir()).
  explicit Emulator(std::vector<std::string> extra = {}, const std::string& program = "");
  ~Emulator();
  Emulator(const Emulator&) = delete;
  Emulator& operator=(const Emulator&) = delete;

  const std::string& socket() const { return socket_; }
  // The "tcp:HOST:PORT" destination of its --tcp listener, with the port it got; "" without one.
  const std::string& tcp() const { return tcp_; }
  const k::test::TempDir& dir() const { return dir_; }
  // The request lines the emulator received so far.
  std::vector<std::string> requests() const;
  // Forgets the requests logged so far.
  void clear_requests() const;
  // Stops the emulator now (SIGTERM and wait).
  void stop();

 private:
  k::test::TempDir dir_;
  std::string socket_;
  std::string tcp_;
  std::string log_;
  pid_t pid_ = -1;
};

// The outcome of a finished process.
struct Run {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
  // The whole outcome as one text, "<status>|<out>|<err>", for one assertion on all of it.
  std::string all() const { return std::to_string(status) + "|" + out + "|" + err; }
};

// Runs a program with arguments, `input` on its standard input, and waits (at most 60 s).
// `env` entries "NAME=value" are added to the environment ("NAME" alone removes it).
Run run(const std::string& program, const std::vector<std::string>& args,
        const std::string& input = "", const std::vector<std::string>& env = {});

// Runs velc with `-u <socket>` prepended to the arguments and HOME set to the emulator's folder. NO_COLOR is not set: output to a pipe
// must carry no colours anyway.
Run velc(const Emulator& sim, const std::vector<std::string>& args, const std::string& input = "",
         const std::vector<std::string>& env = {});

// Starts `velc -u <socket> <args>` in the background with its standard output going to
// `out_file` (and its input from `in_file`, when given), for tests that signal it or feed it
// while it runs. Its process id.
pid_t start_velc(const Emulator& sim, std::vector<std::string> args, const std::string& out_file,
                 const std::string& in_file = "");
// Waits for a process and gives its exit status, or 128 + the signal that ended it.
int wait_exit_status(pid_t pid);

// Reads a whole file ("" when missing).
std::string read_file(const std::string& path);
// Writes `text` as the whole of a file.
void write_file(const std::string& path, const std::string& text);

// The default model with its own accounts (admin, support, guests reading little), for --access.
std::string accounts();
// The requests the emulator received whose method begins with `method`, each as "<method>
// <params as compact JSON>" ("<method>" alone with no `params`), start-up's group joins left out.
std::vector<std::string> sent(const Emulator& sim, const std::string& method = "");
// Polls `done` for at most 30 s; its last answer.
bool eventually(const std::function<bool()>& done);

}  // namespace e2e
