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

// Logins by password and token, and a disabled account, are run over the daemon's socket.
TEST(Accounts, ASectionGivesEveryAccountItsFieldsAndDefaults) {
  Accounts a = parsed(R"({"#comment": "x", "guest": {"Device.DeviceInfo.": "r"}, "users": {"plain": {}}})");
  ASSERT_EQ(a.users.size(), 1u);
  const Account& plain = a.users[0];
  EXPECT_TRUE(plain.password_hash.empty() && plain.token_digests.empty() && !plain.system_access &&
              plain.enabled && plain.rights.at(".") == 0);
  EXPECT_EQ(a.guest.at("Device.DeviceInfo.Manufacturer"), kRightRead);
  EXPECT_EQ(a.guest.at("Device.Hosts."), 0u);
  EXPECT_EQ(a.find("Plain"), nullptr);
  EXPECT_EQ(a.find_by_token(""), nullptr);
  // No section: no accounts, guests may do everything; a section without "guest": guests nothing.
  EXPECT_EQ(Accounts{}.guest.at("Device.Hosts.Host.1."), kAllRights);
  EXPECT_EQ(parsed(R"({"users": {}})").guest.at("."), 0u);
}

TEST(Accounts, MalformedSectionsAreRefusedNamingThePlace) {
  const struct {
    std::string section;
    const char* error;
  } cases[] = {
      {"[]", "#access: must be an object"},
      {R"({"guests": {}})", "#access: unexpected key guests"},
      {R"({"users": []})", "#access.users: must be an object of accounts"},
      {R"({"users": {"a b": {}}})", "#access.users: \"a b\" is not a user name"},
      {R"({"users": {"a": 1}})", "#access.users.a: an account must be an object"},
      {R"({"users": {"a": {"password": "x"}}})", "#access.users.a: unexpected key password in an account"},
      {R"({"users": {"a": {"passwordHash": "secret"}}})",
       "#access.users.a.passwordHash: not a crypt(3) hash (make one with: openssl passwd -6)"},
      {R"({"users": {"a": {"tokenDigests": ["tok-admin"]}}})",
       "#access.users.a.tokenDigests: must hold SHA-256 digests: 64 lower-case hex digits each"},
      {std::string(R"({"users": {"a": {"tokenDigests": [")") + std::string(64, 'A') + R"("]}}})",
       "#access.users.a.tokenDigests: must hold SHA-256 digests: 64 lower-case hex digits each"},
      {R"({"users": {"a": {"systemAccess": "yes"}}})", "#access.users.a.systemAccess: must be true or false"},
  };
  Accounts a;
  std::string error;
  for (const auto& c : cases)
    EXPECT_EQ(parse_accounts(k::json_parse(c.section).get(), a, error) ? "" : error, c.error) << c.section;
}

TEST(Accounts, OnlyHashesLibcryptCanCheckAreTaken) {
  std::string good = kSecretHash;
  const struct {
    std::string hash;
    bool taken;
  } cases[] = {
      {good, true},
      {"$5$salt$kpa26zwgX83BPSR8d7w93OIXbFt/d3UOTZaAu5vsTM6", true},  // openssl passwd -5
      {"$1$salt$ez2vlPGdaLYkJam5pWs/Y1", true},                        // openssl passwd -1
      {good.substr(0, good.size() - 1), false}, {good + "x", false}, {"$6$testsalt1$", false},
      {"$9$salt$abc", false}, {"!", false},
      {"abNANd1rDfiNc", false},  // DES: not in the "$id$" form
  };
  for (const auto& c : cases) EXPECT_EQ(is_crypt_hash(c.hash), c.taken) << c.hash;
}

TEST(Accounts, PasswordsAreCheckedAgainstTheHash) {
  const struct {
    const char* hash;
    std::string password;
    bool matches;
  } cases[] = {
      {kSecretHash, "secret", true}, {kSecretHash, "Secret", false}, {kSecretHash, "", false},
      {kSecretHash, std::string("secret\0x", 8), false}, {"", "", false},
  };
  for (const auto& c : cases) EXPECT_EQ(password_matches(c.hash, c.password), c.matches) << c.password;
}

}  // namespace
}  // namespace sim
