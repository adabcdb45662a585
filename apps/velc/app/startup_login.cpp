#include "app/startup_login.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "link/login.h"
#include "platform/interrupt.h"
#include "platform/password_prompt.h"

namespace {

// The password given other than by the prompt: none when there is none; false (after saying so)
// when the password file is refused.
bool given_password(const Options& options, std::optional<std::string>& password) {
  if (!options.password.empty()) {
    password = options.password;
  } else if (options.password_file) {
    std::string why;
    password = k::password_file_read(options.password_file, why);
    if (!password) {
      std::fprintf(stderr, "velc: the password file %s is not used: %s\n",
                   options.password_file, why.c_str());
      return false;
    }
  } else if (const char* text = std::getenv(kPasswordVariable); text && *text) {
    password = text;
  }
  return true;
}

}  // namespace

int startup_login(Session& session, const Options& options) {
  std::optional<std::string> password;
  if (!given_password(options, password)) return 1;
  int r = user_login(session, options.login, password);
  // A passwordless user and a token are tried first, as without a terminal; only their refusal
  // asks, so that scripts and tokens never meet a prompt.
  if (r == kLoginRefused && !password && isatty(STDIN_FILENO)) {
    try {
      password = k::password_prompt("[velc] password for " + options.login + ": ", stderr);
    } catch (const k::Interrupted&) {
      std::fputc('\n', stderr);  // the run ends (130); the shell's prompt starts on a new line
      throw;
    }
    r = user_login(session, options.login, password);
  }
  if (r == 0) return 0;
  report_login_failure(session, options.login, r, password.has_value());
  return 1;
}
