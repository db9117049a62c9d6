// Recordings damaged in small ways, played headless: each shows what it can,
// says what went wrong once and leaves the user in control.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include <algorithm>

#include "payload/layout.h"
#include "playback/sound_device.h"
#include "tests/engine/engine_fixture.h"

namespace sp::testing {
namespace {

using recorder::ItemMark;
using recorder::Recording;
using recorder::RecordingBuilder;

class DamagedPlaybackTest : public EngineTest {
 protected:
  Recording Good() { return FourBandFrames(3, 0x203040, 10, 10); }

  // The file up to `size` bytes, written and started.
  TPlayForm& StartCut(const std::vector<uint8_t>& whole, int64_t size) {
    WriteBytes(std::vector<uint8_t>(whole.begin(), whole.begin() + size));
    return Start();
  }

  // One error box with `text`, nothing running, the window still open.
  void ExpectStoppedOnce(const TPlayForm& form, const std::string& text) {
    ASSERT_EQ(system.MessageBoxes().size(), 1u) << ::testing::PrintToString(Messages());
    EXPECT_EQ(system.MessageBoxes()[0].kind, MessageBoxRecord::Kind::kError);
    EXPECT_EQ(system.MessageBoxes()[0].text, text);
    EXPECT_FALSE(form.Playing);
    EXPECT_EQ(system.RunningTimers(), 0u);
    EXPECT_EQ(system.OpenPeriods(), 0);
    EXPECT_TRUE(system.OpenDevices().empty());
    EXPECT_FALSE(player->Closed());
  }
};

TEST_F(DamagedPlaybackTest, AFileWithoutItsLastNextPositionEndsAfterItsLastFrame) {
  Write(Good());
  const std::vector<uint8_t> whole = fileBytes;
  Bitmap intactEnd;
  for (int64_t missing : {0, 4, 8}) {
    SCOPED_TRACE(missing);
    FreshSystem();
    TPlayForm& form = StartCut(whole, static_cast<int64_t>(whole.size()) - missing);
    player->TickUntilClosed(50);
    EXPECT_TRUE(player->Closed());
    EXPECT_TRUE(Messages().empty()) << ::testing::PrintToString(Messages());
    EXPECT_EQ(form.CurrentFrame, 4);
    EXPECT_EQ(system.CaptionHistory().back(), "3");
    if (missing == 0) {
      recorder::CopyPixels(Picture(), intactEnd);
    } else {
      EXPECT_TRUE(SameBitmap(Picture(), intactEnd));
    }
  }
}

TEST_F(DamagedPlaybackTest, AOneFrameRecordingWithoutItsNextPositionHoldsItsCursorStill) {
  Bitmap picture(96, 64);
  recorder::FillTestPattern(picture, 5);
  RecordingBuilder builder(picture);
  builder.Interval(200).FirstCursor(30, 20);
  Write(builder.Build());
  const std::vector<uint8_t> whole = fileBytes;
  TPlayForm& form = StartCut(whole, static_cast<int64_t>(whole.size()) - 8);
  EXPECT_TRUE(Messages().empty()) << ::testing::PrintToString(Messages());
  EXPECT_TRUE(form.Playing);
  EXPECT_EQ(form.NextCursorX, 30.0f);
  EXPECT_EQ(form.NextCursorY, 20.0f);
  Bitmap before;
  recorder::CopyPixels(Picture(), before);
  Ticks(4);
  EXPECT_TRUE(SameBitmap(Picture(), before));
}

TEST_F(DamagedPlaybackTest, AStartThatFailsAfterTheSoundStartedStopsTheSound) {
  Recording rec = Good();
  rec.wav = recorder::ToneWav(0.1);
  std::vector<ItemMark> marks;
  Write(rec, &marks);
  const std::vector<uint8_t> whole = fileBytes;
  TPlayForm& form = StartCut(whole, OffsetOf(marks, "key frame") + 100);
  ASSERT_EQ(system.MessageBoxes().size(), 1u) << ::testing::PrintToString(Messages());
  EXPECT_EQ(system.MessageBoxes()[0].text, "Stream read error.");
  EXPECT_TRUE(system.OpenDevices().empty());
  EXPECT_FALSE(form.HasSound);
  EXPECT_FALSE(form.Playing);
  EXPECT_TRUE(form.FirstShow);
  system.ClickImage(form);
  EXPECT_FALSE(form.Playing);
}

TEST_F(DamagedPlaybackTest, ACutInsideABlockStopsThePlaybackWithOneBox) {
  std::vector<ItemMark> marks;
  Write(Good(), &marks);
  const std::vector<uint8_t> whole = fileBytes;
  TPlayForm& form = StartCut(whole, OffsetOf(marks, "frame 2: block 0") + 40);
  system.Tick();  // frame 1
  Bitmap frameOne;
  recorder::CopyPixels(Picture(), frameOne);
  for (int i = 0; i < 20; ++i) system.Tick();
  ExpectStoppedOnce(form, "Stream read error.");
  EXPECT_EQ(form.CurrentFrame, 2);
  EXPECT_TRUE(SameBitmap(Picture(), frameOne));

  // The user is still in control: a click does not pause a stopped
  // playback, a restart plays it again up to the damage, and exit exits.
  system.ClickImage(form);
  EXPECT_FALSE(form.Playing);
  EXPECT_FALSE(form.N6->checked);
  system.ClickMenu(form, "N6");
  EXPECT_FALSE(form.Playing);
  system.ClickMenu(form, "N4");
  EXPECT_TRUE(form.Playing);
  EXPECT_EQ(form.CurrentFrame, 1);
  for (int i = 0; i < 20; ++i) system.Tick();
  EXPECT_EQ(system.MessageBoxes().size(), 2u);
  EXPECT_EQ(system.RunningTimers(), 0u);
  system.ClickMenu(form, "N8");
  EXPECT_TRUE(player->Closed());
}

TEST_F(DamagedPlaybackTest, ACutInsideAnIntegerStopsThePlaybackWithOneBox) {
  std::vector<ItemMark> marks;
  Write(Good(), &marks);
  const std::vector<uint8_t> whole = fileBytes;
  for (const char* item : {"frame 2: terminator", "frame 3: cursor change", "frame 1: next cursor"}) {
    SCOPED_TRACE(item);
    FreshSystem();
    TPlayForm& form = StartCut(whole, OffsetOf(marks, item) + 2);
    player->TickUntilClosed(50);
    ExpectStoppedOnce(form, "Stream read error.");
  }
}

TEST_F(DamagedPlaybackTest, ADamagedCursorChangeIsAnErrorWhereItIsDrawn) {
  Recording rec = Good();
  rec.frames[1].cursorIcon = recorder::MakeIconFile(recorder::TextCursor());
  rec.frames[1].cursorIcon[2] = 7;  // not an icon file's type
  Write(rec);

  // Drawn 1:1 with its cursor: the frame that brings the icon stops.
  TPlayForm& form = Start();
  player->TickUntilClosed(50);
  ExpectStoppedOnce(form, "Icon image is not valid.");
  EXPECT_EQ(form.Caption(), "2");

  // Squeezed, no cursor is drawn and the icon is never decoded: the
  // recording plays cleanly to its end.
  FreshSystem();
  system.SetScreenSize(80, 600);
  TPlayForm& squeezed = Start();
  EXPECT_TRUE(squeezed.StretchMode);
  player->TickUntilClosed(50);
  EXPECT_TRUE(player->Closed());
  EXPECT_TRUE(Messages().empty()) << ::testing::PrintToString(Messages());
}

TEST_F(DamagedPlaybackTest, ASoundTrackLongerThanItsBitStreamPlaysWhatWasDecoded) {
  const std::vector<uint8_t> wav = recorder::ToneWav(0.1);
  Recording rec = Good();
  rec.wav = wav;
  std::vector<ItemMark> marks;
  Write(rec, &marks);
  std::vector<uint8_t> bytes = fileBytes;
  const int64_t lengthAt = OffsetOf(marks, "sound track") + static_cast<int64_t>(kHuffTreeBytes);
  const int32_t length = static_cast<int32_t>(wav.size()) + 5000;
  for (int i = 0; i < 4; ++i) bytes[lengthAt + i] = static_cast<uint8_t>(length >> (8 * i));
  WriteBytes(bytes);

  TPlayForm& form = Start();
  EXPECT_TRUE(Messages().empty()) << ::testing::PrintToString(Messages());
  ASSERT_FALSE(system.MciCalls().empty());
  const MciCall& open = system.MciCalls()[0];
  ASSERT_EQ(open.kind, MciCall::Kind::kOpen);
  EXPECT_EQ(open.result, 0u);
  // The whole WAV, and at most the few codes the last byte's spare bits
  // make; never the video stream read as sound.
  // The back end keeps only a digest of what it opened; the file itself is
  // still there to compare with.
  std::ifstream in(open.element, std::ios::binary);
  const std::vector<uint8_t> played((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
  EXPECT_EQ(open.contents.size, played.size());
  ASSERT_GE(played.size(), wav.size());
  EXPECT_LE(played.size(), wav.size() + 7);
  EXPECT_TRUE(std::equal(wav.begin(), wav.end(), played.begin()));
  EXPECT_TRUE(form.HasSound);
  player->TickUntilClosed(50);
  EXPECT_TRUE(player->Closed());
}

TEST_F(DamagedPlaybackTest, ATrackThatGivesNothingIsStillReportedAndSilent) {
  const std::vector<uint8_t> wav = recorder::ToneWav(0.1);
  Recording rec = Good();
  rec.wav = wav;
  std::vector<ItemMark> marks;
  Write(rec, &marks);
  std::vector<uint8_t> bytes = fileBytes;
  // The root's one child outside the table: the first bit goes astray.
  const int64_t root = OffsetOf(marks, "sound track") + int64_t{kHuffRoot} * 16;
  for (int64_t at : {root + 8, root + 12}) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(600 >> (8 * i));
  }
  WriteBytes(bytes);
  TPlayForm& form = Start();
  EXPECT_EQ(Messages(), (std::vector<std::string>{kSoundReadFailedText}));
  EXPECT_FALSE(form.HasSound);
  EXPECT_TRUE(system.OpenDevices().empty());
  EXPECT_TRUE(form.Playing);
}

TEST_F(DamagedPlaybackTest, PauseDoesNothingOnceThePlaybackHasEnded) {
  Recording rec = Good();
  Write(rec);
  TPlayForm& form = Start();
  system.ClickMenu(form, "N7");  // the last frame stays shown
  player->TickUntilClosed(50);
  ASSERT_FALSE(player->Closed());
  EXPECT_EQ(form.CurrentFrame, form.FrameCount);
  system.ClickImage(form);
  EXPECT_FALSE(form.Playing);
  EXPECT_FALSE(form.N6->checked);
}

}  // namespace
}  // namespace sp::testing
