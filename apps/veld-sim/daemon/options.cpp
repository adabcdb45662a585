#include "daemon/options.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "model/default_model.h"

namespace sim {

namespace {

bool read_number(const std::string& text, long max, long& out) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (errno || *end || v > max) return false;
  out = v;
  return true;
}

}  // namespace

std::string usage_text() {
  return std::string("Usage: veld-sim --socket PATH [--model FILE] [--access FILE] [--hosts N]\n"
         "                [--delay MS] [--request-log FILE] [--memory-budget MIB]\n"
         "                [--max-request MIB] [--state DIR] [--reboot-time MS]\n"
         "                [--download-dir DIR] [--flash-time MS] [--fetch-timeout MS]\n"
         "                [--tcp HOST:PORT [--tls-cert FILE --tls-key FILE]]\n"
         "\n"
         "Emulates veld, the device-management daemon: serves a data model over a UNIX\n"
         "socket with veld's JSON-RPC protocol (one JSON message per line). Runs in the\n"
         "foreground; prints \"veld-sim: ready on PATH\" once it listens; removes the socket\n"
         "and exits 0 on SIGTERM or SIGINT.\n"
         "\n"
         "Options:\n"
         "  --socket PATH         listen on this UNIX socket (required; a stale socket file\n"
         "                        there is replaced)\n"
         "  --model FILE          the model file to serve (docs/model-format.md); default:\n"
         "                        ") + default_model_path() + "\n"
         "  --access FILE         take the accounts and the guests' rights from the \"#access\"\n"
         "                        section of FILE instead of the model's (a file with\n"
         "                        {\"#access\": {\"guest\": {\".\": \"rwadx\"}}} lets anybody do\n"
         "                        anything)\n"
         "  --hosts N             replace the instances of Device.Hosts.Host with N synthetic\n"
         "                        hosts numbered 1..N (0 to 200000)\n"
         "  --delay MS            send every reply MS milliseconds after its request arrived\n"
         "                        (0 to 3600000); other clients are served meanwhile\n"
         "  --request-log FILE    append every line any client sends (requests, events,\n"
         "                        malformed lines; not blank ones) to FILE as received,\n"
         "                        one per line, written at once\n"
         "  --memory-budget MIB   what all clients together may hold in the daemon: replies\n"
         "                        not yet read, replies held back by --delay, unfinished\n"
         "                        request lines (1 to 65536; default 512). While it is\n"
         "                        spent, requests wait unread; a client that stalls it\n"
         "                        (its output unwritten for 2 s) is disconnected. A reply\n"
         "                        larger than the budget or 256 MiB gets error 9004\n"
         "  --max-request MIB     the longest request line (1 to 1024; default 4; at most\n"
         "                        the budget); a longer one gets error 9004, its bytes are\n"
         "                        dropped unread and it is not logged\n"
         "  --state DIR           the device's state folder: SaveConfig writes the running\n"
         "                        configuration to DIR/config.json (a named restore point\n"
         "                        to DIR/restore-points/NAME.json too), which is laid over\n"
         "                        the model at start and after every reboot; FactoryReset\n"
         "                        erases it. Made with mode 0700 when missing. Without it\n"
         "                        SaveConfig fails with error 9002\n"
         "  --reboot-time MS      how long a Reboot keeps the socket away (0 to 3600000;\n"
         "                        default 2000): every connection is dropped once the reply\n"
         "                        is written, connecting fails with ENOENT (no such socket)\n"
         "                        meanwhile, then the device serves again\n"
         "  --download-dir DIR    where Download stores files of type \"File\" (made with\n"
         "                        mode 0700 when missing); default: DIR/downloads of\n"
         "                        --state, else a folder in a private temporary folder\n"
         "                        that is removed at exit (as are saved firmware images)\n"
         "  --flash-time MS       how long a firmware flash takes (0 to 3600000; default\n"
         "                        3000): Device.DeviceInfo.UpgradeProgress goes from 0 to\n"
         "                        100 meanwhile, then the device reboots into the new version\n"
         "  --fetch-timeout MS    how long a Download waits for its sender to connect or\n"
         "                        to send more bytes (1 to 3600000; default 10000)\n"
         "  --tcp HOST:PORT       listen on TCP too (IPv4; HOST an address or a name, PORT 0\n"
         "                        for any free port), printing \"veld-sim: ready on\n"
         "                        tcp:HOST:PORT\" with the port it got before the ready line\n"
         "                        of the socket. TCP clients have no peer credentials: they\n"
         "                        are guests until they log in with a password\n"
         "  --tls-cert FILE       with --tls-key: the TCP listener speaks TLS, presenting this\n"
         "                        certificate chain (PEM; scripts/make-test-certs makes one)\n"
         "  --tls-key FILE        the certificate's private key (PEM)\n"
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
    bool known = name == "--socket" || name == "--model" || name == "--access" ||
                 name == "--hosts" || name == "--delay" || name == "--request-log" ||
                 name == "--memory-budget" || name == "--max-request" || name == "--state" ||
                 name == "--reboot-time" || name == "--download-dir" || name == "--flash-time" ||
                 name == "--fetch-timeout" || name == "--tcp" || name == "--tls-cert" ||
                 name == "--tls-key";
    if (!known) {
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
    long number = 0;
    if (name == "--socket") {
      options.socket_path = value;
    } else if (name == "--model") {
      options.model_file = value;
    } else if (name == "--access") {
      options.access_file = value;
    } else if (name == "--request-log") {
      options.request_log = value;
    } else if (name == "--state") {
      options.state_dir = value;
      while (options.state_dir.size() > 1 && options.state_dir.back() == '/')
        options.state_dir.pop_back();
    } else if (name == "--tcp") {
      k::TcpAddress at;
      if (!k::parse_host_port(value, true, at)) {
        error = "--tcp expects HOST:PORT (an IPv4 address or a name, a port from 0 to 65535)";
        return false;
      }
      options.tcp = at;
    } else if (name == "--tls-cert") {
      options.tls_cert = value;
    } else if (name == "--tls-key") {
      options.tls_key = value;
    } else if (name == "--reboot-time") {
      if (!read_number(value, 3600000, number)) {
        error = "--reboot-time expects milliseconds from 0 to 3600000";
        return false;
      }
      options.reboot_ms = static_cast<int>(number);
    } else if (name == "--download-dir") {
      options.download_dir = value;
    } else if (name == "--flash-time") {
      if (!read_number(value, 3600000, number)) {
        error = "--flash-time expects milliseconds from 0 to 3600000";
        return false;
      }
      options.flash_ms = static_cast<int>(number);
    } else if (name == "--fetch-timeout") {
      if (!read_number(value, 3600000, number) || number < 1) {
        error = "--fetch-timeout expects milliseconds from 1 to 3600000";
        return false;
      }
      options.fetch_timeout_ms = static_cast<int>(number);
    } else if (name == "--hosts") {
      if (!read_number(value, 200000, number)) {
        error = "--hosts expects a number from 0 to 200000";
        return false;
      }
      options.hosts = number;
    } else if (name == "--delay") {
      if (!read_number(value, 3600000, number)) {
        error = "--delay expects milliseconds from 0 to 3600000";
        return false;
      }
      options.delay_ms = static_cast<int>(number);
    } else if (name == "--memory-budget") {
      if (!read_number(value, 65536, number) || number < 1) {
        error = "--memory-budget expects mebibytes from 1 to 65536";
        return false;
      }
      options.memory_budget_mib = number;
    } else if (name == "--max-request") {
      if (!read_number(value, 1024, number) || number < 1) {
        error = "--max-request expects mebibytes from 1 to 1024";
        return false;
      }
      options.max_request_mib = number;
    }
    if (value.empty()) {
      error = name + " needs a value";
      return false;
    }
  }
  if (options.socket_path.empty()) {
    error = "--socket PATH is required";
    return false;
  }
  if (options.tls_cert.empty() != options.tls_key.empty()) {
    error = "--tls-cert and --tls-key go together";
    return false;
  }
  if (!options.tls_cert.empty() && !options.tcp) {
    error = "--tls-cert and --tls-key need --tcp";
    return false;
  }
  return true;
}

}  // namespace sim
