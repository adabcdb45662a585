#include "daemon/options.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <type_traits>

#include "model/default_model.h"

namespace sim {

namespace {

// Reads an option's value into the options; false when the value is bad.
using Setter = bool (*)(Options& options, const std::string& value);

// One option: its name and argument, how it shows in the usage line ("" when another option's
// entry shows it), its description in the --help text (lines of the description column;
// %MODEL% stands for the default model's path), how its value is read, and what a bad value
// should have been ("--NAME expects WHAT"; none when any value does).
struct OptionSpec {
  std::string_view name;
  std::string_view argument;
  std::string_view synopsis;
  std::string_view description;
  Setter set;
  const char* expects;
};

bool read_number(const std::string& text, long max, long& out) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (errno || *end || v > max) return false;
  out = v;
  return true;
}

template <auto field>
bool text(Options& options, const std::string& value) {
  options.*field = value;
  return true;
}

// A folder, without trailing slashes.
template <auto field>
bool folder(Options& options, const std::string& value) {
  std::string& dir = options.*field;
  dir = value;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return true;
}

template <auto field, long min, long max>
bool number(Options& options, const std::string& value) {
  long n = 0;
  if (!read_number(value, max, n) || n < min) return false;
  options.*field = static_cast<std::remove_reference_t<decltype(options.*field)>>(n);
  return true;
}

bool tcp_address(Options& options, const std::string& value) {
  k::TcpAddress at;
  if (!k::parse_host_port(value, true, at)) return false;
  options.tcp = at;
  return true;
}

constexpr const char* kMilliseconds = "milliseconds from 0 to 3600000";

constexpr OptionSpec kOptions[] = {
    {"--socket", "PATH", "--socket PATH",
     "listen on this UNIX socket (required; a stale socket file\n"
     "there is replaced)",
     text<&Options::socket_path>, nullptr},
    {"--model", "FILE", "[--model FILE]",
     "the model file to serve (docs/model-format.md); default:\n"
     "%MODEL%",
     text<&Options::model_file>, nullptr},
    {"--access", "FILE", "[--access FILE]",
     "take the accounts and the guests' rights from the \"#access\"\n"
     "section of FILE instead of the model's (a file with\n"
     "{\"#access\": {\"guest\": {\".\": \"rwadx\"}}} lets anybody do\n"
     "anything)",
     text<&Options::access_file>, nullptr},
    {"--hosts", "N", "[--hosts N]",
     "replace the instances of Device.Hosts.Host with N synthetic\n"
     "hosts numbered 1..N (0 to 200000)",
     number<&Options::hosts, 0, 200000>, "a number from 0 to 200000"},
    {"--delay", "MS", "[--delay MS]",
     "send every reply MS milliseconds after its request arrived\n"
     "(0 to 3600000); other clients are served meanwhile",
     number<&Options::delay_ms, 0, 3600000>, kMilliseconds},
    {"--request-log", "FILE", "[--request-log FILE]",
     "append every line any client sends (requests, events,\n"
     "malformed lines; not blank ones) to FILE as received,\n"
     "one per line, written at once",
     text<&Options::request_log>, nullptr},
    {"--memory-budget", "MIB", "[--memory-budget MIB]",
     "what all clients together may hold in the daemon: replies\n"
     "not yet read, replies held back by --delay, unfinished\n"
     "request lines (1 to 65536; default 512). While it is\n"
     "spent, requests wait unread; a client that stalls it\n"
     "(its output unwritten for 2 s) is disconnected. A reply\n"
     "larger than the budget or 256 MiB gets error 9004",
     number<&Options::memory_budget_mib, 1, 65536>, "mebibytes from 1 to 65536"},
    {"--max-request", "MIB", "[--max-request MIB]",
     "the longest request line (1 to 1024; default 4; at most\n"
     "the budget); a longer one gets error 9004, its bytes are\n"
     "dropped unread and it is not logged",
     number<&Options::max_request_mib, 1, 1024>, "mebibytes from 1 to 1024"},
    {"--state", "DIR", "[--state DIR]",
     "the device's state folder: SaveConfig writes the running\n"
     "configuration to DIR/config.json (a named restore point\n"
     "to DIR/restore-points/NAME.json too), which is laid over\n"
     "the model at start and after every reboot; FactoryReset\n"
     "erases it. Made with mode 0700 when missing. Without it\n"
     "SaveConfig fails with error 9002",
     folder<&Options::state_dir>, nullptr},
    {"--reboot-time", "MS", "[--reboot-time MS]",
     "how long a Reboot keeps the socket away (0 to 3600000;\n"
     "default 2000): every connection is dropped once the reply\n"
     "is written, connecting fails with ENOENT (no such socket)\n"
     "meanwhile, then the device serves again",
     number<&Options::reboot_ms, 0, 3600000>, kMilliseconds},
    {"--download-dir", "DIR", "[--download-dir DIR]",
     "where Download stores files of type \"File\" (made with\n"
     "mode 0700 when missing); default: DIR/downloads of\n"
     "--state, else a folder in a private temporary folder\n"
     "that is removed at exit (as are saved firmware images)",
     text<&Options::download_dir>, nullptr},
    {"--flash-time", "MS", "[--flash-time MS]",
     "how long a firmware flash takes (0 to 3600000; default\n"
     "3000): Device.DeviceInfo.UpgradeProgress goes from 0 to\n"
     "100 meanwhile, then the device reboots into the new version",
     number<&Options::flash_ms, 0, 3600000>, kMilliseconds},
    {"--fetch-timeout", "MS", "[--fetch-timeout MS]",
     "how long a Download waits for its sender to connect or\n"
     "to send more bytes (1 to 3600000; default 10000)",
     number<&Options::fetch_timeout_ms, 1, 3600000>, "milliseconds from 1 to 3600000"},
    {"--tcp", "HOST:PORT", "[--tcp HOST:PORT [--tls-cert FILE --tls-key FILE]]",
     "listen on TCP too (IPv4; HOST an address or a name, PORT 0\n"
     "for any free port), printing \"veld-sim: ready on\n"
     "tcp:HOST:PORT\" with the port it got before the ready line\n"
     "of the socket. TCP clients have no peer credentials: they\n"
     "are guests until they log in with a password",
     tcp_address, "HOST:PORT (an IPv4 address or a name, a port from 0 to 65535)"},
    {"--tls-cert", "FILE", "",
     "with --tls-key: the TCP listener speaks TLS, presenting this\n"
     "certificate chain (PEM; scripts/make-test-certs makes one)",
     text<&Options::tls_cert>, nullptr},
    {"--tls-key", "FILE", "", "the certificate's private key (PEM)", text<&Options::tls_key>,
     nullptr},
};

const OptionSpec* find_option(std::string_view name) {
  for (const OptionSpec& o : kOptions)
    if (o.name == name) return &o;
  return nullptr;
}

// The usage lines: the options' synopses after "Usage: veld-sim", wrapped before column 80.
std::string synopsis() {
  std::string text = "Usage: veld-sim", line = text;
  for (const OptionSpec& o : kOptions) {
    if (o.synopsis.empty()) continue;
    if (line.size() + 1 + o.synopsis.size() > 79) {
      text += "\n";
      line = std::string(16, ' ');
      text += line;
    } else {
      line += ' ';
      text += ' ';
    }
    line += o.synopsis;
    text += o.synopsis;
  }
  return text + "\n";
}

// One option's help: "  --NAME ARG" in a column of 22, its description beside and below it.
std::string option_help(const OptionSpec& o) {
  std::string head = "  " + std::string(o.name) + (o.argument.empty() ? "" : " ");
  head += o.argument;
  head.resize(std::max<size_t>(head.size() + 1, 24), ' ');
  std::string text = head;
  std::string_view rest = o.description;
  while (true) {
    size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    text += line == "%MODEL%" ? default_model_path() : std::string(line);
    text += '\n';
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
    text += std::string(24, ' ');
  }
  return text;
}

// The checks that join several options.
bool check_together(const Options& options, std::string& error) {
  if (options.socket_path.empty())
    error = "--socket PATH is required";
  else if (options.tls_cert.empty() != options.tls_key.empty())
    error = "--tls-cert and --tls-key go together";
  else if (!options.tls_cert.empty() && !options.tcp)
    error = "--tls-cert and --tls-key need --tcp";
  return error.empty();
}

}  // namespace

std::string usage_text() {
  std::string text =
      synopsis() +
      "\n"
      "Emulates veld, the device-management daemon: serves a data model over a UNIX\n"
      "socket with veld's JSON-RPC protocol (one JSON message per line). Runs in the\n"
      "foreground; prints \"veld-sim: ready on PATH\" once it listens; removes the socket\n"
      "and exits 0 on SIGTERM or SIGINT.\n"
      "\n"
      "Options:\n";
  for (const OptionSpec& o : kOptions) text += option_help(o);
  return text +
         "  -h, --help            show this text and exit\n"
         "\n"
         "Exit status: 0 after a signal or --help, 1 when the model, the state folder's files\n"
         "or the socket fails, 2 for a bad command line.\n";
}

bool parse_options(int argc, const char* const* argv, Options& options, std::string& error) {
  options.model_file = default_model_path();
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      options.help = true;
      return true;
    }
    std::string name = arg, value;
    bool has_value = false;
    if (size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      has_value = true;
    }
    const OptionSpec* option = find_option(name);
    if (!option) {
      error = "unknown option: " + arg;
      return false;
    }
    if (!has_value) {
      if (i + 1 >= argc) {
        error = name + " needs a value";
        return false;
      }
      value = argv[++i];
    }
    if (!option->set(options, value)) {
      error = name + " expects " + option->expects;
      return false;
    }
    if (value.empty()) {
      error = name + " needs a value";
      return false;
    }
  }
  return check_together(options, error);
}

}  // namespace sim
