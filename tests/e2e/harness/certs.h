// Test harness: a test CA and a server certificate signed by it, for veld-sim's TLS listener.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness/process.h"

namespace e2e {

// Made by scripts/make-test-certs in a temporary folder, for localhost and 127.0.0.1 unless
// `names` gives others (e.g. "DNS:router.example").
struct Certs {
  explicit Certs(const std::string& names = "") {
    Run made = run("/bin/sh", {source_dir() + "/scripts/make-test-certs", dir.path(), names});  // "": the default
    EXPECT_EQ(made.status, 0) << made.err;
  }
  std::string ca() const { return dir.file("ca.pem"); }
  // veld-sim's options for a TLS listener on a free port of 127.0.0.1.
  std::vector<std::string> server_options() const {
    return {"--tcp", "127.0.0.1:0", "--tls-cert", dir.file("server.pem"), "--tls-key",
            dir.file("server.key")};
  }
  k::test::TempDir dir;
};

}  // namespace e2e
