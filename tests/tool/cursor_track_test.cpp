#include "tools/cursor_track.h"

#include <gtest/gtest.h>

#include "tools/command_line.h"

namespace sp::tool {
namespace {

TEST(CursorTrack, ReadsRowsSkippingHeaderCommentsAndBlankLinesAndResolvesIconsBesideTheTrack) {
  const std::vector<CursorKey> keys = ParseCursorTrack(
      "frame,x,y,icon\n# the pointer\n\n3, 40, 50\r\n0,10,20,arrow.ico\n5,-2,7,/abs/text.ico\n",
      "/tracks", "t.csv");
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys[0].frame, 0);
  EXPECT_EQ(keys[0].icon, "/tracks/arrow.ico");
  EXPECT_EQ(keys[1].frame, 3);
  EXPECT_EQ(keys[1].x, 40);
  EXPECT_EQ(keys[1].icon, "");
  EXPECT_EQ(keys[2].x, -2);
  EXPECT_EQ(keys[2].icon, "/abs/text.ico");
}

TEST(CursorTrack, NamesTheLineOfABadRow) {
  auto message = [](const std::string& text) {
    try {
      ParseCursorTrack(text, ".", "t.csv");
    } catch (const ToolError& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_NE(message("0,1,2\n1,2\n").find("t.csv:2"), std::string::npos);
  EXPECT_NE(message("0,1,2\n1,x,3\n").find("t.csv:2"), std::string::npos);
  EXPECT_NE(message("0,1,2\n-1,0,0\n").find("t.csv:2"), std::string::npos);
  const std::string twice = message("0,1,2\n4,0,0\n4,1,1\n");
  EXPECT_NE(twice.find("t.csv:3"), std::string::npos);
  EXPECT_NE(twice.find("twice"), std::string::npos);
}

TEST(CursorPath, MissingFramesKeepThePreviousPositionAndEarlyOnesTakeTheFirstRow) {
  const std::vector<CursorKey> keys = {{2, 100, 100, ""}, {4, 200, 50, "b.ico"}};
  const CursorPath path = ResolveCursorPath(keys, 6);
  EXPECT_EQ(path.x, (std::vector<int32_t>{100, 100, 100, 100, 200, 200}));
  EXPECT_EQ(path.y, (std::vector<int32_t>{100, 100, 100, 100, 50, 50}));
  EXPECT_EQ(path.icon[4], "b.ico");
  EXPECT_EQ(path.icon[2], "");
  EXPECT_THROW(ResolveCursorPath(keys, 4), ToolError);  // frame 4 of 0..3
}

}  // namespace
}  // namespace sp::tool
