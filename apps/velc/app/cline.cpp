#include "app/cline.h"

#include <getopt.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/text.h"

namespace {

constexpr const char* kProgram = "velc";
constexpr const char* kVersion = "0.2.1";

enum LongOnly : int { kOptRaw = 1000, kOptSsl, kOptPasswordFile, kOptStrict };

const option kLongOptions[] = {
    {"request", required_argument, nullptr, 'r'},
    {"notify", required_argument, nullptr, 'n'},
    {"event", required_argument, nullptr, 'e'},
    {"raw", required_argument, nullptr, kOptRaw},
    {"timeout", required_argument, nullptr, 't'},
    {"script", optional_argument, nullptr, 's'},
    {"lua-script", required_argument, nullptr, 'S'},
    {"listen", no_argument, nullptr, 'l'},
    {"groups", required_argument, nullptr, 'g'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'v'},
    {"ssl", no_argument, nullptr, kOptSsl},
    {"strict", no_argument, nullptr, kOptStrict},
    {"unixpath", required_argument, nullptr, 'u'},
    {"auth", required_argument, nullptr, 'a'},
    {"config", required_argument, nullptr, 'c'},
    {"password-file", required_argument, nullptr, kOptPasswordFile},
    {nullptr, 0, nullptr, 0},
};

void print_version() {
  std::printf("Norlan Management System client.\n");
  std::printf("%s version %s\n", kProgram, kVersion);
  std::printf("Free software under the GNU GPL version 3 or later; there is NO WARRANTY.\n");
}

// Appends each comma-separated id of a group list; false (after the message) on a piece that is
// not a number, or when more ids than the groups array holds are given.
bool add_groups(const char* list, Options& o) {
  std::string_view rest(list);
  while (!rest.empty()) {
    size_t comma = rest.find(',');
    std::string_view piece = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    if (piece.empty()) continue;
    uint32_t id = 0;
    if (k::string_to_u32(piece, 10, id) != 0 || o.group_count >= kMaxGroups) {
      std::fprintf(stderr, "Invalid group number: '%.*s'.\n", static_cast<int>(piece.size()),
                   piece.data());
      return false;
    }
    o.groups[o.group_count++] = id;
  }
  return true;
}

// "login:password" or "token". The secret is then blanked in the argument vector, so that other
// users' `ps` do not show it: the password, or the whole text, which may be a token.
void set_auth(char* text, Options& o) {
  std::string_view t(text);
  size_t colon = t.find(':');
  if (colon == std::string_view::npos) {
    o.login = std::string(t.substr(0, kCredentialMax));
    std::memset(text, 0, t.size());
    return;
  }
  o.login = std::string(t.substr(0, std::min(colon, kCredentialMax)));
  o.password = std::string(t.substr(colon + 1).substr(0, kCredentialMax));
  std::memset(text + colon + 1, 0, t.size() - colon - 1);
}

}  // namespace

void cline_usage(FILE* to) {
  std::fprintf(to, "Norlan Management System client.\n");
  std::fprintf(to, "Usage: %s [options]\n", kProgram);
  std::fprintf(to, "\n");
  std::fprintf(to, "Options:\n");
  std::fprintf(to, "\t-r, --request <name> [<params>]     Proceed request.\n");
  std::fprintf(to, "\t-n, --notify <name> [<params>]      Send notify.\n");
  std::fprintf(to, "\t-e, --event <id> [<params>]         Send event.\n");
  std::fprintf(to, "\t-l, --listen                        Listen for incoming events (specify as -g).\n");
  std::fprintf(to, "\t    --raw <json-msg>                Send raw JSON-RPC message.\n");
  std::fprintf(to, "\t-t  --timeout <seconds>             Timeout for send raw JSON-RPC message\n");
  std::fprintf(to, "\t-s, --script <path-to-script>       Proceed script file.\n");
  std::fprintf(to, "\t-S, --lua-script <path-to-script>   Proceed Lua script file.\n");
  std::fprintf(to, "\t    --strict                        Fail and stop scripts on a failed request.\n");
  std::fprintf(to, "\t-g, --groups <gr1>[,<gr2>,..,<grN>] Join selected groups.\n");
  std::fprintf(to, "\t    --ssl                           Use SSL layer.\n");
  std::fprintf(to, "\t-c, --config <path>                 Path to config file (default is \"$HOME/.local/%s/config\").\n", kProgram);
  std::fprintf(to, "\t-u, --unixpath <path>               UNIX socket path to connect (default is \"%s\").\n", "/var/run/veld.sock");
  std::fprintf(to, "\t-a  --auth [login:password|token]   Authorization data.\n");
  std::fprintf(to, "\t    --password-file <path>          Password for --auth (else $VELC_PASSWORD, else asked).\n");
  std::fprintf(to, "\t-h, --help                          Print this help message.\n");
  std::fprintf(to, "\t-v, --version                       Display %s version.\n", kProgram);
}

int cline_parse(int argc, char** argv, Options& o) {
  const char* slash = argc > 0 ? std::strrchr(argv[0], '/') : nullptr;
  const char* program = argc > 0 ? (slash ? slash + 1 : argv[0]) : "";
  if (std::strcmp(program, "velc_interpreter") == 0) o.mode = kModeScript;
  if (std::strcmp(program, "velc_lua") == 0) o.mode = kModeScriptLua;
  const char* mode_word = "interactive";

  // A second mode option is refused, naming both modes.
  auto take_mode = [&](int mode, const char* word, const char* new_word) {
    if (o.mode != kModeInteractive) {
      std::fprintf(stderr, "Cannot execute '%s' and '%s' modes simultaneously.\n", word,
                   mode_word);
      return false;
    }
    o.mode = mode;
    mode_word = new_word;
    return true;
  };

  optind = 0;  // 0 makes glibc reinitialise its scanner completely
  opterr = 1;
  int c;
  while ((c = getopt_long(argc, argv, "c:s?S:r:n:e:g:i:u:a:t:lhv", kLongOptions, nullptr)) != -1) {
    switch (c) {
      case 'r':
        if (!take_mode(kModeRequest, "request", "request")) return -1;
        o.mode_name = optarg;
        break;
      case 'n':
        if (!take_mode(kModeNotify, "notify", "notify")) return -1;
        o.mode_name = optarg;
        break;
      case 'e': {
        if (!take_mode(kModeEvent, "event", "event")) return -1;
        uint32_t id = 0;
        if (k::string_to_u32(optarg, 10, id) != 0)
          std::fprintf(stderr, "Group id must be an integer.\n");
        o.mode_id = id;
        break;
      }
      case kOptRaw:
        if (!take_mode(kModeRaw, "raw", "raw")) return -1;
        json_array_append_new(o.parameters.get(), json_string(optarg));
        break;
      case 't':
        o.timeout = std::atoi(optarg);
        break;
      case 's':
        if (!take_mode(kModeScript, "script", "script")) return -1;
        if (optarg) o.script_path = optarg;
        break;
      case 'S':
        if (!take_mode(kModeScriptLua, "script", "script-lua")) return -1;
        o.script_path = optarg;
        break;
      case 'l':
        if (!take_mode(kModeListen, "listen", "listen")) return -1;
        break;
      case 'g':
        if (!add_groups(optarg, o)) return -1;
        break;
      case 'h':
        cline_usage(stdout);
        return 1;
      case 'v':
        print_version();
        return 1;
      case kOptSsl:
        o.ssl = true;
        break;
      case kOptStrict:
        o.strict = true;
        break;
      case 'u':
        o.unix_path = optarg;
        break;
      case 'a':
        set_auth(optarg, o);
        break;
      case 'c':
        o.config_path = optarg;
        break;
      case kOptPasswordFile:
        o.password_file = optarg;
        break;
      default:  // unknown option, missing argument, -?, and -i (reserved, without meaning)
        cline_usage(stderr);
        return -1;
    }
  }
  if (o.mode == kModeRaw) return 0;
  for (int i = optind; i < argc; ++i) {
    json_t* word = json_string(argv[i]);
    // A word that is not valid UTF-8 cannot become a JSON string; it is passed as an empty one so
    // that the positions of the following words stay.
    json_array_append_new(o.parameters.get(), word ? word : json_string(""));
  }
  return 0;
}
