#include "tools/command_line.h"

#include <gtest/gtest.h>

#include "tests/tool/tool_fixture.h"

namespace sp::tool {
namespace {

const CommandSpec kSpec{"demo", "FILE", "", "",
                        {{"--frames", "DIR", "", ""}, {"--bold", "", "", ""}, {"--output", "OUT", "", "-o"}},
                        1, 1, {}};

ParsedArgs Parse(std::vector<std::string> args) { return ParseArgs(kSpec, args); }

TEST(ParseArgs, TakesValuesSeparateOrAfterAnEqualsSignAndShortNames) {
  const ParsedArgs a = Parse({"--frames", "in", "-o", "x.exe", "--bold", "f"});
  EXPECT_EQ(a.Get("--frames"), "in");
  EXPECT_EQ(a.Get("--output"), "x.exe");
  EXPECT_TRUE(a.Has("--bold"));
  EXPECT_EQ(a.Positional(), std::vector<std::string>{"f"});
  EXPECT_EQ(Parse({"--frames=a=b", "f"}).Get("--frames"), "a=b");
  EXPECT_EQ(Parse({"--", "-f"}).Positional(), std::vector<std::string>{"-f"});
}

TEST(ParseArgs, RejectsWhatTheCommandDoesNotTake) {
  EXPECT_THROW(Parse({"--colour", "red", "f"}), UsageError);
  EXPECT_THROW(Parse({"f", "--frames"}), UsageError);  // value missing
  EXPECT_THROW(Parse({"--bold=1", "f"}), UsageError);
  EXPECT_THROW(Parse({}), UsageError);
  EXPECT_THROW(Parse({"f", "g"}), UsageError);
  EXPECT_THROW(Parse({"f"}).Require("--frames"), UsageError);
  // --help stands on its own, whatever else is missing.
  EXPECT_TRUE(Parse({"--help"}).Has("--help"));
}

TEST(ParseValues, NumbersPairsAndColours) {
  EXPECT_EQ(ParseInteger("495616", "--offset", 0, 1 << 30), 495616);
  EXPECT_THROW(ParseInteger("12ms", "--interval", 0, 100), UsageError);
  EXPECT_THROW(ParseInteger("39", "--interval", 40, 100), UsageError);
  EXPECT_EQ(ParsePair("-5,20", "--caption-pos"), (Size{-5, 20}));
  EXPECT_THROW(ParsePair("5;20", "--caption-pos"), UsageError);
  EXPECT_EQ(ParseRrggbb("#FF8000", "--font-color"), 0xFF8000u);
  EXPECT_EQ(ParseRrggbb("00ff00", "--font-color"), 0x00FF00u);
  EXPECT_THROW(ParseRrggbb("F80", "--font-color"), UsageError);
}

using CommandLine = testing::ToolTest;
using testing::ToolRun;

TEST_F(CommandLine, HelpGoesToStdoutAndMistakesToStderrWithStatus2) {
  ToolRun help = Run({"help"});
  EXPECT_EQ(help.status, 0);
  for (const char* command : {"info", "pack", "export", "extract-sound", "repack"}) {
    EXPECT_NE(help.out.find(command), std::string::npos) << command;
  }
  EXPECT_EQ(help.err, "");

  ToolRun packHelp = Run({"pack", "--help"});
  EXPECT_EQ(packHelp.status, 0);
  EXPECT_NE(packHelp.out.find("--font-color RRGGBB"), std::string::npos);
  EXPECT_EQ(Run({"help", "repack"}).out, Run({"repack", "--help"}).out);

  ToolRun unknown = Run({"play", "x"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.out, "");
  EXPECT_NE(unknown.err.find("play"), std::string::npos);

  ToolRun missing = Run({"pack", "--frames", "x"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err.find("selfplay-tool pack --help"), std::string::npos);

  ToolRun noFile = Run({"info", Path("absent.exe")});
  EXPECT_EQ(noFile.status, 1);
  EXPECT_NE(noFile.err.find("absent.exe"), std::string::npos);
}

}  // namespace
}  // namespace sp::tool
