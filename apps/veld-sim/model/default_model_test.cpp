#include "model/default_model.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/temp_dir.h"

namespace {

// An installed tree: <prefix>/bin/veld-sim beside <prefix>/share/veld-sim/home-router.json.
TEST(DefaultModelPath, TheInstalledModelBesideTheProgramComesFirst) {
  k::test::TempDir prefix;
  std::filesystem::create_directories(prefix.file("bin"));
  std::filesystem::create_directories(prefix.file("share/veld-sim"));
  const std::string program = prefix.file("bin/veld-sim");
  const std::string relative = "../share/veld-sim/home-router.json";

  EXPECT_EQ(sim::default_model_for(program, relative, "/src/models/home-router.json"),
            "/src/models/home-router.json");  // not installed (yet): the source tree's
  std::ofstream(prefix.file("share/veld-sim/home-router.json")) << "{}";
  EXPECT_EQ(sim::default_model_for(program, relative, "/src/models/home-router.json"),
            prefix.file("share/veld-sim/home-router.json"));
  // A folder of that name is no model.
  std::filesystem::create_directories(prefix.file("share/veld-sim/other.json"));
  EXPECT_EQ(sim::default_model_for(program, "../share/veld-sim/other.json", "/fallback"),
            "/fallback");
}

}  // namespace
