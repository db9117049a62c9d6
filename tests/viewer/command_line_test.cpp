// selfplay-view's command line, as mpv users write it.
#include "viewer/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sp::view {
namespace {

TEST(ViewerCommandLine, TimesInSecondsOrClockForm) {
  EXPECT_EQ(ParseTime("90"), 90000);
  EXPECT_EQ(ParseTime("90.5"), 90500);
  EXPECT_EQ(ParseTime("0"), 0);
  EXPECT_EQ(ParseTime("1:30"), 90000);
  EXPECT_EQ(ParseTime("01:02:03.250"), 3723250);
  EXPECT_EQ(ParseTime("2:00:00"), 7200000);
  EXPECT_EQ(ParseTime("75:00"), 4500000);  // minutes alone may pass the hour
  for (const char* bad : {"", "-5", "+5", "1:", ":30", "1:60", "1:2:60", "1:75:00", "1:2:3:4", "1.5:00",
                          "abc", "10s", "nan", "inf", "1e999"}) {
    EXPECT_EQ(ParseTime(bad), std::nullopt) << bad;
  }
}

TEST(ViewerCommandLine, OptionsAnywhereAndFilesInOrder) {
  const CommandLine line = ParseCommandLine(
      {"one.exe", "--start", "1:05", "--speed=1.5", "--fullscreen", "two", "--mute", "--loop", "--", "--three"});
  ASSERT_EQ(line.action, CommandLine::Action::kRun) << line.error;
  EXPECT_EQ(line.options.files, (std::vector<std::string>{"one.exe", "two", "--three"}));
  EXPECT_EQ(line.options.startMilliseconds, 65000);
  EXPECT_EQ(line.options.speed, 1.5);
  EXPECT_TRUE(line.options.fullScreen);
  EXPECT_TRUE(line.options.mute);
  EXPECT_TRUE(line.options.loop);

  const CommandLine plain = ParseCommandLine({"lesson"});
  EXPECT_EQ(plain.options.startMilliseconds, std::nullopt);
  EXPECT_EQ(plain.options.speed, 1.0);
  EXPECT_FALSE(plain.options.fullScreen || plain.options.mute || plain.options.loop);

  EXPECT_EQ(ParseCommandLine({"x", "--help"}).action, CommandLine::Action::kHelp);
  EXPECT_EQ(ParseCommandLine({"-h"}).action, CommandLine::Action::kHelp);
  EXPECT_EQ(ParseCommandLine({"--version"}).action, CommandLine::Action::kVersion);
  EXPECT_EQ(VersionText().rfind("selfplay-view ", 0), 0u) << VersionText();
}

TEST(ViewerCommandLine, WrongOptionsAreNamed) {
  struct Case {
    std::vector<std::string> args;
    const char* says;
  };
  for (const Case& c : std::vector<Case>{{{"--speed", "9"}, "--speed takes a number from 0.5 to 4"},
                                         {{"--speed", "0.1"}, "from 0.5 to 4, not \"0.1\""},
                                         {{"--speed=fast"}, "not \"fast\""},
                                         {{"--start", "soon"}, "--start takes seconds"},
                                         {{"--start"}, "--start needs a value"},
                                         {{"--loud"}, "unknown option --loud"},
                                         {{"-x"}, "unknown option -x"},
                                         {{"--mute=yes"}, "--mute takes no value"}}) {
    const CommandLine line = ParseCommandLine(c.args);
    // One dash may be Qt's, judged once QApplication has taken its own.
    const bool unknown = c.args[0] == "-x";
    EXPECT_EQ(line.action, unknown ? CommandLine::Action::kUnknownOption : CommandLine::Action::kError)
        << c.args[0];
    EXPECT_NE(line.error.find(c.says), std::string::npos) << line.error;
  }
}

TEST(ViewerCommandLine, HelpHasTheSectionsItsManPageIsMadeOf) {
  const std::string help = HelpText();
  for (const char* part : {"Usage: selfplay-view", "\nOptions:\n", "\nKeys:\n", "\nExit status:\n",
                           "\nExamples:\n", "--start TIME", "--speed X", "--fullscreen", "--mute", "--loop",
                           "--version", "PageDown / PageUp", "  S  "}) {
    EXPECT_NE(help.find(part), std::string::npos) << part;
  }
}

}  // namespace
}  // namespace sp::view
