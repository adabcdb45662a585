#include "model/accounts.h"

#include <gtest/gtest.h>

namespace sim {
namespace {

// `openssl passwd -6 -salt testsalt1 secret`.
constexpr const char* kSecretHash =
    "$6$testsalt1$JkeJddrQoqmQ5RwUPjpMuSlpzGy8Tt0jTbPww9/ABmTGbGNMEYBlLH1ZQ.gT2ATKCwvZphEsKiaqNLl9fEIMD0";
Accounts parsed(const std::string& section) {
  Accounts a;
  std::string error;
  EXPECT_TRUE(parse_accounts(k::json_parse(section).get(), a, error)) << error;
  return a;
}

// Logins by password and token, and a disabled account, are run over the daemon's socket, and
// the fields of an account by velc's logins.
TEST(Accounts, WithoutASectionGuestsMayDoEverythingWithOneWithoutGuestNothing) {
  EXPECT_EQ(Accounts{}.guest.at("Device.Hosts.Host.1."), kAllRights);
  Accounts a = parsed(R"({"#comment": "x", "users": {"plain": {}}})");
  EXPECT_EQ(a.guest.at("."), 0u);
  EXPECT_TRUE(a.find("plain") && a.find("plain")->enabled && !a.find("Plain"));
}

TEST(Accounts, MalformedSectionsAreRefusedNamingThePlace) {
  const std::pair<std::string, const char*> cases[] = {  // a section and its error
      {"[]", "#access: must be an object"},
      {R"({"users": []})", "#access.users: must be an object of accounts"},
      {R"({"users": {"a b": {}}})", "#access.users: \"a b\" is not a user name"},
      {R"({"users": {"a": {"password": "x"}}})", "#access.users.a: unexpected key password in an account"},
      {R"({"users": {"a": {"passwordHash": "secret"}}})",
       "#access.users.a.passwordHash: not a crypt(3) hash (make one with: openssl passwd -6)"},
      {std::string(R"({"users": {"a": {"tokenDigests": [")") + std::string(64, 'A') + R"("]}}})",
       "#access.users.a.tokenDigests: must hold SHA-256 digests: 64 lower-case hex digits each"},
      {R"({"users": {"a": {"systemAccess": "yes"}}})", "#access.users.a.systemAccess: must be true or false"},
  };
  Accounts a;
  std::string error;
  for (const auto& [section, expected] : cases)
    EXPECT_EQ(parse_accounts(k::json_parse(section).get(), a, error) ? "" : error, expected) << section;
}

// Only hashes libcrypt can check are taken, and passwords are checked against them.
TEST(Accounts, PasswordHashes) {
  const std::string good = kSecretHash;
  for (const std::string& hash : {good, std::string("$1$salt$ez2vlPGdaLYkJam5pWs/Y1")})  // passwd -1
    EXPECT_TRUE(is_crypt_hash(hash)) << hash;
  for (const std::string& hash : {good.substr(0, good.size() - 1), good + "x", std::string("$6$testsalt1$"),
                                  std::string("$9$salt$abc"), std::string("abNANd1rDfiNc")})  // the last: DES
    EXPECT_FALSE(is_crypt_hash(hash)) << hash;
  EXPECT_TRUE(password_matches(kSecretHash, "secret"));
  for (const std::string& wrong : {std::string("Secret"), std::string(), std::string("secret\0x", 8)})
    EXPECT_FALSE(password_matches(kSecretHash, wrong)) << wrong;
  EXPECT_FALSE(password_matches("", ""));
}

}  // namespace
}  // namespace sim
