// The daemon's user accounts, read from the "#access" section of a model file: who may log in,
// with which credentials, and what each user and a guest (nobody logged in) may do. The file
// holds no secret in plain text: passwords as crypt(3) hashes, tokens as SHA-256 digests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/rights.h"
#include "platform/json.h"

namespace sim {

// One user.
struct Account {
  std::string name;
  std::string password_hash;                // crypt(3) text; "": no login with a password
  std::vector<std::string> token_digests;   // SHA-256 of each token, 64 lower-case hex digits
  bool system_access = false;               // may use the device-wide methods
  bool enabled = true;                      // a disabled account cannot log in at all
  Rights rights;
};

// Every account and the guests' rights. A model without "#access" has no accounts and lets
// guests do everything, so that models that do not care about users need no section.
struct Accounts {
  std::vector<Account> users;
  Rights guest = all_rights();

  // The account of that name, or none.
  const Account* find(std::string_view name) const;
  // The account one of whose token digests is the token's, or none.
  const Account* find_by_token(std::string_view token) const;
};

// Reads an "#access" section. False with `error` naming the place ("#access.users.admin.
// passwordHash: ...") and the reason.
bool parse_accounts(json_t* section, Accounts& out, std::string& error);

// Reads the "#access" section of a JSON file (a model file, or a file holding only that
// section). False with `error` naming the file.
bool load_accounts_file(const std::string& file, Accounts& out, std::string& error);

// True when `hash` is a hash libcrypt can check passwords against ("$6$salt$...").
bool is_crypt_hash(std::string_view hash);

// True when the password is the one `hash` was made from; false for an empty hash.
bool password_matches(std::string_view hash, std::string_view password);

// The SHA-256 digest of a token in lower-case hex, as the accounts keep it.
std::string token_digest(std::string_view token);

}  // namespace sim
