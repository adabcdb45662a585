// The command line: which mode runs, with which name or id and positional words, how to reach
// veld, which login, which event groups and which scripts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "platform/json.h"

// The modes, by the number the command line selects.
enum Mode : int {
  kModeInteractive = 0,
  kModeRaw = 1,
  kModeListen = 2,
  kModeRequest = 3,
  kModeNotify = 4,
  kModeEvent = 5,
  kModeScript = 6,
  kModeScriptLua = 7,
};

inline constexpr size_t kMaxGroups = 64;
inline constexpr size_t kCredentialMax = 255;  // login and password texts are cut to this

struct Options {
  uint32_t group_count = 0;
  uint32_t groups[kMaxGroups] = {};
  int mode = kModeInteractive;
  const char* mode_name = nullptr;  // request and notify modes: the name given
  uint32_t mode_id = 0;             // event mode: the event id given
  k::Json parameters;               // raw mode: the message; other modes: the positional words
  const char* unix_path = nullptr;
  const char* script_path = nullptr;
  const char* config_path = nullptr;
  std::string login;
  std::string password;
  const char* password_file = nullptr;  // --password-file: where the --auth password is
  bool ssl = false;
  bool strict = false;  // a command whose request failed fails (see Session::strict)
  int timeout = 0;  // seconds
};

// One of velc's options: the one description that the parser, the usage text and the tests of
// the man page and the bash completion all read.
struct OptionRow {
  const char* name;                // the long name, without "--"
  int code;                        // the short option's letter, or a code above 255 when long only
  int argument;                    // getopt's no_argument, required_argument or optional_argument
  const char* words = nullptr;     // the argument as the usage text shows it
  const char* text;                // the usage text's description
  bool comma = true;               // the usage text writes "-x, --name" (else "-x  --name")
  int mode = kModeInteractive;     // a mode option: the mode it selects
  const char* mode_word = nullptr; // ... and the word that names that mode
  const char* clash_word = nullptr;  // the word naming the option when it clashes, if not mode_word
};

// The options, in the order of the usage text.
std::span<const OptionRow> cline_options();

// Parses the argument vector into `options` (whose `parameters` must be an array), and blanks
// the secret of --auth in the vector (the password, or a text without ":"). 0 to go on,
// 1 when help or version was printed, -1 on an error (already reported on standard error).
int cline_parse(int argc, char** argv, Options& options);

// The usage text (to standard output for --help, to standard error after an error).
void cline_usage(FILE* to);
