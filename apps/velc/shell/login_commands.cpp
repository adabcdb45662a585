#include "shell/login_commands.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "link/login.h"
#include "platform/password_prompt.h"

int cmd_login(Client& client, const std::string& name, json_t* args) {
  size_t count = json_array_size(args);
  const char* first = k::json_array_text(args, 0);
  const char* option = k::json_array_text(args, 1);
  const char* third = k::json_array_text(args, 2);
  std::optional<std::string> login;
  std::optional<std::string> password;
  if (count == 0) {
    if (const char* user = std::getenv("USER")) login = user;
  } else if (count == 1 && first) {
    login = first;
    password = k::password_prompt("[velc] password for " + *login + ": ");
  } else if (count == 3 && first && option && third && std::strcmp(option, "-p") == 0) {
    login = first;
    password = third;
  } else {
    std::fprintf(client.out, "syntax: %s [<login> [-p <password>]]\n", name.c_str());
    return -1;
  }
  // Without $USER there is nobody to log in as: that is a failed login, not a request.
  int r = login ? user_login(client.session, *login, password) : -1;
  if (r == 0) return 0;
  std::fprintf(client.out, "Failed to authenticate user\n");
  if (login) {
    report_login_failure(client.session, *login, r, password.has_value());
  } else {
    std::fflush(client.out);
    std::fprintf(stderr, "velc: cannot log in: USER is not set; name the user\n");
  }
  return -1;
}

int cmd_logout(Client& client, const std::string& name, json_t* args) {
  if (json_array_size(args) != 0) {
    std::fprintf(client.out, "syntax: %s\n", name.c_str());
    return -1;
  }
  return user_logout(client.session);
}

int cmd_login_if_guest(Client& client, const std::string&, json_t* args) {
  if (client.session.user) return 0;
  const char* login = k::json_array_text(args, 0);
  const char* password = k::json_array_text(args, 1);
  if (login)
    user_login(client.session, login,
               password ? std::optional<std::string>(password) : std::nullopt);
  return 0;
}
