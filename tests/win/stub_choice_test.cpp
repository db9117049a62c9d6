// Which player pack and repack put in front, and what counts as a stub.
#include "tools/stub_choice.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "payload/layout.h"
#include "recorder/payload_writer.h"
#include "tools/command_line.h"

namespace sp::tool {
namespace {

namespace fs = std::filesystem;

// A PE image's first bytes: "MZ", e_lfanew at 0x3C, "PE\0\0" and the x64
// machine, padded to the stub size.
std::vector<uint8_t> FakeWindowsStub() {
  std::vector<uint8_t> b(PAYLOAD_OFFSET, 0);
  b[0] = 'M';
  b[1] = 'Z';
  b[0x3C] = 0x80;
  b[0x80] = 'P';
  b[0x81] = 'E';
  b[0x84] = 0x64;
  b[0x85] = 0x86;
  return b;
}

class StubChoiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("selfplay-stub-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "build");
    fs::create_directories(dir_ / "build-windows");
    tool_ = (dir_ / "build").string();
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Put(const std::string& relative, const std::vector<uint8_t>& bytes) {
    const std::string path = (dir_ / relative).string();
    EXPECT_TRUE(recorder::WriteFile(path, bytes));
    return path;
  }
  fs::path dir_;
  std::string tool_;
};

TEST_F(StubChoiceTest, DefaultIsTheWindowsPlayerWhenBuiltElseTheLinuxOne) {
  const std::string linux = Put("build/selfplay", recorder::ZeroStub());
  EXPECT_EQ(ChooseStub({}, {}, tool_), linux);
  const std::string windows = Put("build-windows/selfplay.exe", FakeWindowsStub());
  EXPECT_EQ(ChooseStub({}, {}, tool_), tool_ + "/../build-windows/selfplay.exe");
  EXPECT_EQ(ChooseStub({}, "linux", tool_), linux);
  EXPECT_EQ(ChooseStub({}, "windows", tool_), tool_ + "/../build-windows/selfplay.exe");
  EXPECT_EQ(ChooseStub(windows, {}, tool_), windows);
}

TEST_F(StubChoiceTest, AMissingPlayerIsNamedWithWhereItWasLookedFor) {
  try {
    ChooseStub({}, "windows", tool_);
    FAIL() << "no error";
  } catch (const ToolError& e) {
    EXPECT_NE(std::string(e.what()).find("no Windows player stub"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("cmake --preset windows"), std::string::npos) << e.what();
  }
  EXPECT_THROW(ChooseStub({}, {}, tool_), ToolError);
  EXPECT_THROW(ChooseStub({}, "macos", tool_), UsageError);
  EXPECT_THROW(ChooseStub(Put("x", recorder::ZeroStub()), "linux", tool_), UsageError);
}

TEST_F(StubChoiceTest, WhatIsGivenMustBeAStub) {
  // Wrong size.
  try {
    ChooseStub(Put("small", std::vector<uint8_t>(1000, 0)), {}, tool_);
    FAIL() << "no error";
  } catch (const ToolError& e) {
    EXPECT_NE(std::string(e.what()).find("1,000 bytes"), std::string::npos) << e.what();
  }
  // "MZ" without a PE header behind it, and a PE header cut off.
  std::vector<uint8_t> fake = FakeWindowsStub();
  fake[0x80] = 'X';
  EXPECT_THROW(ChooseStub(Put("mz", fake), {}, tool_), ToolError);
  fake = FakeWindowsStub();
  fake[0x3C] = 0xFF;
  fake[0x3D] = 0xFF;
  fake[0x3E] = 0xFF;
  EXPECT_THROW(ChooseStub(Put("far", fake), {}, tool_), ToolError);
  // --for windows takes only a PE image.
  Put("build-windows/selfplay.exe", recorder::ZeroStub());
  EXPECT_THROW(ChooseStub({}, "windows", tool_), ToolError);
}

}  // namespace
}  // namespace sp::tool
