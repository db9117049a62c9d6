#include "recorder/recording_builder.h"

#include <gtest/gtest.h>

#include "recorder/change_detection.h"
#include "recorder/test_media.h"

namespace sp::recorder {
namespace {

TEST(RecordingBuilder, FramesCarryTheChangedBandsAndShiftedCursorPositions) {
  Bitmap screen(160, 120);
  FillTestPattern(screen, 8);
  RecordingBuilder builder(screen);
  builder.FirstCursor(10, 20).Interval(500);
  Bitmap first;
  CopyPixels(screen, first);

  FillRect(screen, {40, 30, 90, 60}, 0xFF0000);
  builder.AddFrame(screen, CursorPosition{15, 25});
  builder.AddFrame(screen, std::nullopt, MakeIconFile(TextCursor()));
  FillRect(screen, {0, 100, 160, 120}, 0x00FF00);
  builder.AddFrame(screen, CursorPosition{50, 60});
  EXPECT_EQ(builder.FrameCount(), 4);

  const Recording rec = builder.Build();
  EXPECT_EQ(rec.frameWidth, 160);
  EXPECT_EQ(rec.frameHeight, 120);
  EXPECT_EQ(rec.frameInterval, 500);
  EXPECT_EQ(rec.hasCursor, 1);
  EXPECT_EQ(rec.cursorIcon, MakeIconFile(ArrowCursor()));
  EXPECT_FALSE(rec.keyFrame.empty());
  ASSERT_EQ(rec.frames.size(), 3u);
  ASSERT_EQ(rec.frames[0].blocks.size(), 1u);
  // The changed pixels grown to whole 16-pixel cells.
  EXPECT_EQ(rec.frames[0].blocks[0].rect, (Rect{32, 16, 96, 64}));
  EXPECT_TRUE(rec.frames[1].blocks.empty());
  EXPECT_EQ(rec.frames[1].cursorIcon, MakeIconFile(TextCursor()));
  ASSERT_EQ(rec.frames[2].blocks.size(), 1u);
  EXPECT_EQ(rec.frames[2].blocks[0].rect, (Rect{0, 96, 160, 120}));

  // Positions at frames 0..3: (10,20) (15,25) (15,25) (50,60).
  EXPECT_EQ(rec.cursorX, 10);
  EXPECT_EQ(rec.cursorY, 20);
  EXPECT_EQ(rec.nextCursorX, 15);
  EXPECT_EQ(rec.nextCursorY, 25);
  EXPECT_EQ(rec.frames[0].nextCursorX, 15);
  EXPECT_EQ(rec.frames[1].nextCursorX, 50);
  EXPECT_EQ(rec.frames[2].nextCursorX, 50);
  EXPECT_EQ(rec.frames[2].nextCursorY, 60);

  EXPECT_TRUE(FindChangedBands(builder.Picture(), screen).empty());
}

TEST(RecordingBuilder, RawBlocksAreWrittenAsGivenAndLeaveThePicture) {
  Bitmap screen(32, 32);
  FillTestPattern(screen, 2);
  RecordingBuilder builder(screen);
  builder.NoCursor();
  Block odd{{0, 0, 8, 8}, {1, 2, 3}, 0, 7};
  builder.AddFrameBlocks({odd});
  const Recording rec = builder.Build();
  EXPECT_EQ(rec.hasCursor, 0);
  ASSERT_EQ(rec.frames.size(), 1u);
  EXPECT_EQ(rec.frames[0].blocks[0].jpeg, odd.jpeg);
  EXPECT_EQ(rec.frames[0].blocks[0].sizeOverride, 0);
  EXPECT_TRUE(FindChangedBands(builder.Picture(), screen).empty());
}

TEST(RecordingBuilder, MakeRecordingAddsEveryPicture) {
  Bitmap a(48, 32), b(48, 32), c(48, 32);
  FillTestPattern(a, 1);
  CopyPixels(a, b);
  FillRect(b, {0, 0, 4, 4}, 0);
  CopyPixels(b, c);
  const Recording rec = MakeRecording(a, {&b, &c});
  ASSERT_EQ(rec.frames.size(), 2u);
  EXPECT_EQ(rec.frames[0].blocks.size(), 1u);
  EXPECT_TRUE(rec.frames[1].blocks.empty());
  EXPECT_FALSE(WritePayload(rec).empty());
}

}  // namespace
}  // namespace sp::recorder
