#include "app/cline.h"

#include <getopt.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace {

constexpr const char* kProgram = "velc";

enum LongOnly : int { kOptRaw = 1000, kOptSsl, kOptPasswordFile, kOptStrict };

// The options in the order of the usage text.
constexpr OptionRow kOptionRows[] = {
    {.name = "request", .code = 'r', .argument = required_argument, .words = "<name> [<params>]",
     .text = "Proceed request.", .mode = kModeRequest, .mode_word = "request"},
    {.name = "notify", .code = 'n', .argument = required_argument, .words = "<name> [<params>]",
     .text = "Send notify.", .mode = kModeNotify, .mode_word = "notify"},
    {.name = "event", .code = 'e', .argument = required_argument, .words = "<id> [<params>]",
     .text = "Send event.", .mode = kModeEvent, .mode_word = "event"},
    {.name = "listen", .code = 'l', .argument = no_argument,
     .text = "Listen for incoming events (specify as -g).", .mode = kModeListen,
     .mode_word = "listen"},
    {.name = "raw", .code = kOptRaw, .argument = required_argument, .words = "<json-msg>",
     .text = "Send raw JSON-RPC message.", .mode = kModeRaw, .mode_word = "raw"},
    {.name = "timeout", .code = 't', .argument = required_argument, .words = "<seconds>",
     .text = "Timeout for send raw JSON-RPC message", .comma = false},
    // -s takes no argument; only --script=<path> gives one.
    {.name = "script", .code = 's', .argument = optional_argument, .words = "<path-to-script>",
     .text = "Proceed script file.", .mode = kModeScript, .mode_word = "script"},
    {.name = "lua-script", .code = 'S', .argument = required_argument,
     .words = "<path-to-script>", .text = "Proceed Lua script file.", .mode = kModeScriptLua,
     .mode_word = "script-lua", .clash_word = "script"},
    {.name = "strict", .code = kOptStrict, .argument = no_argument,
     .text = "Fail and stop scripts on a failed request."},
    {.name = "groups", .code = 'g', .argument = required_argument,
     .words = "<gr1>[,<gr2>,..,<grN>]", .text = "Join selected groups."},
    {.name = "ssl", .code = kOptSsl, .argument = no_argument, .text = "Use SSL layer."},
    {.name = "config", .code = 'c', .argument = required_argument, .words = "<path>",
     .text = "Path to config file (default is \"$HOME/.local/velc/config\")."},
    {.name = "unixpath", .code = 'u', .argument = required_argument, .words = "<path>",
     .text = "UNIX socket path to connect (default is \"/var/run/veld.sock\")."},
    {.name = "auth", .code = 'a', .argument = required_argument,
     .words = "[login:password|token]", .text = "Authorization data.", .comma = false},
    {.name = "password-file", .code = kOptPasswordFile, .argument = required_argument,
     .words = "<path>", .text = "Password for --auth (else $VELC_PASSWORD, else asked)."},
    {.name = "help", .code = 'h', .argument = no_argument, .text = "Print this help message."},
    {.name = "version", .code = 'v', .argument = no_argument, .text = "Display velc version."},
};

// "-?" and "-i <word>" are accepted by the scanner and answered with the usage, as unknown
// options are, but without the scanner's own complaint.
constexpr const char* kReservedShort = "?i:";

const OptionRow* row_of(int code) {
  for (const OptionRow& row : kOptionRows)
    if (row.code == code) return &row;
  return nullptr;
}

// getopt_long's two tables, made from the rows once.
struct Scanner {
  std::string short_options;
  std::vector<option> long_options;
  Scanner() {
    for (const OptionRow& row : kOptionRows) {
      long_options.push_back({row.name, row.argument, nullptr, row.code});
      if (row.code > 255) continue;
      short_options += static_cast<char>(row.code);
      if (row.argument == required_argument) short_options += ':';
    }
    short_options += kReservedShort;
    long_options.push_back({nullptr, 0, nullptr, 0});
  }
};

void print_version() {
  std::printf("Norlan Management System client.\n");
  std::printf("%s version %s\n", kProgram, VELC_VERSION);
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

// What one option (not the mode it selects) does to `o`: 0 to go on, 1 when help or version was
// printed, -1 on an error (reported).
int apply_option(int c, Options& o) {
  switch (c) {
    case 'r':
    case 'n':
      o.mode_name = optarg;
      break;
    case 'e':
      if (k::string_to_u32(optarg, 10, o.mode_id) != 0)
        std::fprintf(stderr, "Group id must be an integer.\n");
      break;
    case kOptRaw:
      json_array_append_new(o.parameters.get(), json_string(optarg));
      break;
    case 't':
      o.timeout = std::atoi(optarg);
      break;
    case 's':
      if (optarg) o.script_path = optarg;
      break;
    case 'S':
      o.script_path = optarg;
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
  }
  return 0;
}

}  // namespace

std::span<const OptionRow> cline_options() { return kOptionRows; }

void cline_usage(FILE* to) {
  std::fprintf(to, "Norlan Management System client.\n");
  std::fprintf(to, "Usage: %s [options]\n", kProgram);
  std::fprintf(to, "\n");
  std::fprintf(to, "Options:\n");
  for (const OptionRow& row : kOptionRows) {
    std::string left = row.code > 255 ? std::string(4, ' ')
                                      : std::string{'-', static_cast<char>(row.code),
                                                    row.comma ? ',' : ' ', ' '};
    left += "--" + std::string(row.name);
    if (row.words) left += std::string(" ") + row.words;
    std::fprintf(to, "\t%-35s %s\n", left.c_str(), row.text);
  }
}

int cline_parse(int argc, char** argv, Options& o) {
  const char* slash = argc > 0 ? std::strrchr(argv[0], '/') : nullptr;
  const char* program = argc > 0 ? (slash ? slash + 1 : argv[0]) : "";
  if (std::strcmp(program, "velc_interpreter") == 0) o.mode = kModeScript;
  if (std::strcmp(program, "velc_lua") == 0) o.mode = kModeScriptLua;
  const char* mode_word = "interactive";

  static const Scanner scanner;
  optind = 0;  // 0 makes glibc reinitialise its scanner completely
  opterr = 1;
  int c;
  while ((c = getopt_long(argc, argv, scanner.short_options.c_str(), scanner.long_options.data(),
                          nullptr)) != -1) {
    const OptionRow* row = row_of(c);
    if (!row) {  // unknown option, missing argument, -?, and -i (reserved, without meaning)
      cline_usage(stderr);
      return -1;
    }
    if (row->mode != kModeInteractive) {  // a second mode option is refused, naming both modes
      if (o.mode != kModeInteractive) {
        std::fprintf(stderr, "Cannot execute '%s' and '%s' modes simultaneously.\n",
                     row->clash_word ? row->clash_word : row->mode_word, mode_word);
        return -1;
      }
      o.mode = row->mode;
      mode_word = row->mode_word;
    }
    if (int r = apply_option(c, o); r != 0) return r;
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
