// Every input a fuzz target once failed on, replayed through the same check.
// The files live in regressions/<target>/, named after what they found.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "tests/hardening/fuzz_checks.h"

namespace sp::hardening {
namespace {

namespace fs = std::filesystem;

using Check = std::string (*)(const uint8_t*, size_t);

const std::map<std::string, Check>& Checks() {
  static const std::map<std::string, Check> checks = {
      {"player", CheckPlayerPayload},
      {"sound", CheckSoundExpansion},
      {"icon", CheckIcon},
      {"jpeg", CheckJpeg},
      {"seek", CheckSeeks},
      {"locate", CheckLocate},
      {"info", CheckInfo},
      {"sound-from-checkpoint", CheckSoundFromCheckpoint},
  };
  return checks;
}

std::vector<uint8_t> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(FuzzRegressions, EveryKeptInputPasses) {
  const fs::path root = SELFPLAY_REGRESSIONS_DIR;
  ASSERT_TRUE(fs::is_directory(root)) << root;
  int replayed = 0;
  for (const fs::directory_entry& folder : fs::directory_iterator(root)) {
    if (!folder.is_directory()) continue;
    const auto check = Checks().find(folder.path().filename().string());
    ASSERT_NE(check, Checks().end()) << "no fuzz target named " << folder.path().filename();
    for (const fs::directory_entry& file : fs::directory_iterator(folder.path())) {
      const std::vector<uint8_t> bytes = ReadAll(file.path());
      EXPECT_EQ(check->second(bytes.data(), bytes.size()), "") << file.path();
      ++replayed;
    }
  }
  EXPECT_GT(replayed, 0);
}

// The smallest inputs, which take each check's shortest paths.
TEST(FuzzRegressions, ChecksAcceptEmptyAndTinyInputs) {
  const uint8_t byte = 0;
  for (const auto& [name, check] : Checks()) {
    EXPECT_EQ(check(&byte, 0), "") << name;
    EXPECT_EQ(check(&byte, 1), "") << name;
  }
}

}  // namespace
}  // namespace sp::hardening
