#include "model/accounts.h"

#include <crypt.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cstring>
#include <memory>

namespace sim {

namespace {

bool fail(std::string& error, const std::string& where, const std::string& why) {
  error = where + ": " + why;
  return false;
}

// A user name: 1 to 64 bytes, none of them blank or a control character.
bool is_user_name(std::string_view name) {
  if (name.empty() || name.size() > 64) return false;
  for (unsigned char c : name)
    if (c <= ' ' || c == 0x7f) return false;
  return true;
}

bool is_digest(std::string_view text) {
  if (text.size() != 64) return false;
  for (char c : text)
    if (!std::strchr("0123456789abcdef", c) || !c) return false;
  return true;
}

// Equal texts, compared in a time that does not tell how much of them matched.
bool same_secret(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

// crypt_r over a password and a setting (a hash); "" when libcrypt refuses the setting.
std::string crypt_text(const std::string& password, const std::string& setting) {
  auto data = std::make_unique<crypt_data>();  // tens of KiB: not on the stack
  const char* out = crypt_r(password.c_str(), setting.c_str(), data.get());
  // A refused setting gives none or a failure token beginning with '*'.
  return out && out[0] != '*' ? std::string(out) : std::string();
}

bool parse_account(const char* name, json_t* j, Account& a, std::string& error) {
  std::string where = std::string("#access.users.") + name;
  if (!is_user_name(name))
    return fail(error, "#access.users", std::string("\"") + name + "\" is not a user name");
  if (!json_is_object(j)) return fail(error, where, "an account must be an object");
  a.name = name;
  const char* key;
  json_t* v;
  json_object_foreach(j, key, v) {
    std::string at = where + "." + key;
    if (!std::strcmp(key, "#comment")) continue;
    if (!std::strcmp(key, "passwordHash")) {
      if (!json_is_string(v) || !is_crypt_hash(json_string_value(v)))
        return fail(error, at, "not a crypt(3) hash (make one with: openssl passwd -6)");
      a.password_hash = json_string_value(v);
    } else if (!std::strcmp(key, "tokenDigests")) {
      size_t i;
      json_t* d;
      if (!json_is_array(v)) return fail(error, at, "must be an array of SHA-256 digests");
      json_array_foreach(v, i, d) {
        if (!json_is_string(d) || !is_digest(json_string_value(d)))
          return fail(error, at, "must hold SHA-256 digests: 64 lower-case hex digits each");
        a.token_digests.emplace_back(json_string_value(d));
      }
    } else if (!std::strcmp(key, "systemAccess")) {
      if (!json_is_boolean(v)) return fail(error, at, "must be true or false");
      a.system_access = json_is_true(v);
    } else if (!std::strcmp(key, "enabled")) {
      if (!json_is_boolean(v)) return fail(error, at, "must be true or false");
      a.enabled = json_is_true(v);
    } else if (!std::strcmp(key, "rights")) {
      std::string why;
      if (!parse_rights(v, a.rights, why)) return fail(error, at, why);
    } else {
      return fail(error, where, std::string("unexpected key ") + key + " in an account");
    }
  }
  return true;
}

}  // namespace

const Account* Accounts::find(std::string_view name) const {
  for (const Account& a : users)
    if (a.name == name) return &a;
  return nullptr;
}

const Account* Accounts::find_by_token(std::string_view token) const {
  std::string digest = token_digest(token);
  for (const Account& a : users)
    for (const std::string& d : a.token_digests)
      if (same_secret(d, digest)) return &a;
  return nullptr;
}

bool parse_accounts(json_t* section, Accounts& out, std::string& error) {
  if (!json_is_object(section)) return fail(error, "#access", "must be an object");
  out = Accounts{};
  out.guest = Rights{};  // the section is there: guests get what it gives them, if anything
  const char* key;
  json_t* v;
  json_object_foreach(section, key, v) {
    if (!std::strcmp(key, "#comment")) continue;
    if (!std::strcmp(key, "guest")) {
      std::string why;
      if (!parse_rights(v, out.guest, why)) return fail(error, "#access.guest", why);
    } else if (!std::strcmp(key, "users")) {
      if (!json_is_object(v)) return fail(error, "#access.users", "must be an object of accounts");
      const char* name;
      json_t* account;
      json_object_foreach(v, name, account) {
        out.users.emplace_back();
        if (!parse_account(name, account, out.users.back(), error)) return false;
      }
    } else {
      return fail(error, "#access", std::string("unexpected key ") + key);
    }
  }
  return true;
}

bool load_accounts_file(const std::string& file, Accounts& out, std::string& error) {
  json_error_t err;
  k::Json j = k::Json::take(json_load_file(file.c_str(), 0, &err));
  if (!j) return fail(error, file + ":" + std::to_string(err.line), err.text);
  json_t* section = json_object_get(j.get(), "#access");
  if (!section) return fail(error, file, "no \"#access\" section");
  if (!parse_accounts(section, out, error)) return fail(error, file, error);
  return true;
}

bool is_crypt_hash(std::string_view hash) {
  if (hash.size() < 3 || hash[0] != '$' || hash.find('\0') != std::string_view::npos) return false;
  // Hashing anything with it as the setting gives a text of its very form: same length, same
  // method and salt (all up to the last '$').
  std::string setting(hash);
  std::string out = crypt_text("", setting);
  size_t salt_end = setting.rfind('$');
  return out.size() == setting.size() && out.compare(0, salt_end, setting, 0, salt_end) == 0;
}

bool password_matches(std::string_view hash, std::string_view password) {
  if (hash.empty() || password.find('\0') != std::string_view::npos) return false;
  std::string out = crypt_text(std::string(password), std::string(hash));
  return !out.empty() && same_secret(out, hash);
}

std::string token_digest(std::string_view token) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(token.data(), token.size(), md, &size, EVP_sha256(), nullptr);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned i = 0; i < size; ++i) {
    hex.push_back(kHex[md[i] >> 4]);
    hex.push_back(kHex[md[i] & 15]);
  }
  return hex;
}

}  // namespace sim
