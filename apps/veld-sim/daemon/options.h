// The command line of veld-sim.
#pragma once

#include <optional>
#include <string>

#include "platform/tcp.h"

namespace sim {

// What the command line asks for.
struct Options {
  std::string socket_path;
  std::string model_file;   // the default model when not given
  std::string access_file;  // empty: the model's own accounts
  long hosts = -1;          // -1: keep the model's hosts
  int delay_ms = 0;
  std::string request_log;  // empty: no log
  long memory_budget_mib = 512;  // queued output and unfinished input of all clients together
  long max_request_mib = 4;      // longest request line
  std::string state_dir;         // the state folder (saved configurations); empty: none
  int reboot_ms = 2000;          // how long a reboot refuses connections
  std::string download_dir;      // where Download stores files; empty: the default
  int flash_ms = 3000;           // how long a firmware flash takes
  int fetch_timeout_ms = 10000;  // the longest a Download waits for its sender
  std::optional<k::TcpAddress> tcp;  // --tcp HOST:PORT: also listen there
  std::string tls_cert, tls_key;     // --tls-cert, --tls-key: the TCP listener speaks TLS
  bool help = false;
};

// Reads the arguments ("--name value" or "--name=value"). False with `error` set for an unknown
// option, a missing or bad value, or a missing --socket.
bool parse_options(int argc, const char* const* argv, Options& options, std::string& error);

// The --help text.
std::string usage_text();

}  // namespace sim
