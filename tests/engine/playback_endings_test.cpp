// How a playback ends when its file does not hold what it should, and what
// the timer thread may still read once the form is gone: the sound device
// is closed with the clock, a sound track that gave nothing stays silent,
// a cursor icon is decoded only where it is drawn.
#include <gtest/gtest.h>

#include <algorithm>

#include "payload/layout.h"
#include "payload/payload_reader.h"
#include "playback/sound_device.h"
#include "tests/engine/engine_fixture.h"

namespace sp::testing {
namespace {

using recorder::ItemMark;
using recorder::Recording;
using recorder::RecordingBuilder;

class PlaybackEndingsTest : public EngineTest {
 protected:
  Recording FourFrames() { return FourBandFrames(11, 0x405060, 20, 12); }

  int Closes(uint32_t device) const {
    int n = 0;
    for (const MciCall& call : system.MciCalls()) {
      n += call.kind == MciCall::Kind::kClose && call.device == device;
    }
    return n;
  }
};

// The file ends inside a block of frame 2: the picture stops at frame 1, one
// box says why, and the sound stops with the clock, once.
TEST_F(PlaybackEndingsTest, DamageFoundByATickClosesTheSoundWithTheClock) {
  Recording rec = FourFrames();
  rec.wav = recorder::ToneWav(0.2);
  std::vector<ItemMark> marks;
  Write(rec, &marks);
  const int64_t cut = OffsetOf(marks, "frame 2: block 0") + 40;
  WriteBytes(std::vector<uint8_t>(fileBytes.begin(), fileBytes.begin() + cut));

  TPlayForm& form = Start();
  ASSERT_TRUE(form.HasSound);
  const uint32_t device = form.SoundDevice;
  ASSERT_EQ(system.OpenDevices().size(), 1u);
  Ticks(20);

  ASSERT_EQ(system.MessageBoxes().size(), 1u) << ::testing::PrintToString(Messages());
  EXPECT_EQ(system.MessageBoxes()[0].text, "Stream read error.");
  EXPECT_EQ(form.CurrentFrame, 2);
  // The failed frame step consumed nothing of the block it could not read.
  ASSERT_TRUE(form.RecordingStream);
  EXPECT_EQ(form.RecordingStream->Position(), OffsetOf(marks, "frame 2: block 0"));
  EXPECT_FALSE(form.Playing);
  EXPECT_FALSE(form.HasSound);
  EXPECT_TRUE(system.OpenDevices().empty());
  EXPECT_EQ(Closes(device), 1);
  EXPECT_EQ(system.RunningTimers(), 0u);
  EXPECT_EQ(system.OpenPeriods(), 0);
  EXPECT_FALSE(player->Closed());

  // Closing afterwards stops nothing twice: only FormClose's last flagless
  // close of the latest device follows.
  system.ClickMenu(form, "N8");
  EXPECT_TRUE(player->Closed());
  EXPECT_EQ(system.MessageBoxes().size(), 1u);
  EXPECT_EQ(Closes(device), 2);
  EXPECT_EQ(system.MciCalls().back().kind, MciCall::Kind::kClose);
  EXPECT_EQ(system.MciCalls().back().flags, kMciNoFlags);
}

// A lead word that puts the video stream right behind the decoded length
// leaves no bit stream at all: the expansion gives nothing, is reported, and
// the empty file is not played.
TEST_F(PlaybackEndingsTest, ASoundTrackWithoutBitsIsReportedAndNotPlayed) {
  Recording rec = FourFrames();
  rec.wav = recorder::ToneWav(0.1);
  std::vector<ItemMark> marks;
  Write(rec, &marks);
  const int64_t soundStart = OffsetOf(marks, "sound track");
  const int64_t video = OffsetOf(marks, "video header");
  const int64_t bitsStart = soundStart + static_cast<int64_t>(kHuffTreeBytes) + 4;
  ASSERT_LT(bitsStart, video);

  std::vector<uint8_t> bytes(fileBytes.begin(), fileBytes.begin() + bitsStart);
  bytes.insert(bytes.end(), fileBytes.begin() + video, fileBytes.end());
  for (int i = 0; i < 4; ++i) {
    bytes[PAYLOAD_OFFSET + i] = static_cast<uint8_t>(static_cast<uint32_t>(bitsStart) >> (8 * i));
  }
  WriteBytes(bytes);

  TPlayForm& form = Start();
  EXPECT_EQ(Messages(), (std::vector<std::string>{kSoundReadFailedText}));
  EXPECT_FALSE(form.HasSound);
  EXPECT_TRUE(system.MciCalls().empty());
  EXPECT_TRUE(form.Playing);
  player->TickUntilClosed(50);
  EXPECT_TRUE(player->Closed());
  EXPECT_EQ(Messages().size(), 1u);
}

// The end test reads the terminator: a frame whose terminator names the
// last frame ends the recording there, and a last frame whose terminator
// names another frame leaves it running on its last picture.
TEST_F(PlaybackEndingsTest, TheTerminatorNotTheFrameCountEndsTheRecording) {
  std::vector<ItemMark> marks;
  Write(FourFrames(), &marks);
  const std::vector<uint8_t> intact = fileBytes;
  auto withTerminator = [&](const std::string& item, int32_t value) {
    std::vector<uint8_t> bytes = intact;
    const int64_t at = OffsetOf(marks, item);
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i));
    return bytes;
  };

  WriteBytes(withTerminator("frame 1: terminator", -3));
  TPlayForm& early = Start();
  system.Tick();
  EXPECT_TRUE(player->Closed());
  EXPECT_EQ(early.CurrentFrame, 2);

  FreshSystem();
  WriteBytes(withTerminator("frame 3: terminator", -2));
  TPlayForm& endless = Start();
  Ticks(10);
  EXPECT_FALSE(player->Closed());
  EXPECT_EQ(endless.CurrentFrame, 4);
  EXPECT_EQ(system.CaptionHistory().back(), "3");
  EXPECT_TRUE(Messages().empty()) << ::testing::PrintToString(Messages());
}

// The first cursor's icon is decoded where it is first drawn. A squeezed
// picture never draws it, so a damaged one does not stop the playback; shown
// one to one, the same file stops at its start with the icon error.
TEST_F(PlaybackEndingsTest, AFirstCursorIconIsDecodedWhereItIsFirstDrawn) {
  Recording rec = FourFrames();
  rec.cursorIcon[2] = 7;  // not an icon file's type
  Write(rec);

  system.SetScreenSize(80, 600);
  TPlayForm& squeezed = Start();
  EXPECT_TRUE(squeezed.StretchMode);
  EXPECT_TRUE(squeezed.Playing);
  player->TickUntilClosed(50);
  EXPECT_TRUE(player->Closed());
  EXPECT_TRUE(Messages().empty()) << ::testing::PrintToString(Messages());

  FreshSystem();
  TPlayForm& shown = Start();
  EXPECT_FALSE(shown.StretchMode);
  EXPECT_EQ(Messages(), (std::vector<std::string>{"Icon image is not valid."}));
  EXPECT_FALSE(shown.Playing);
}

// What the timer thread reads: the window handle as the GUI thread last
// published it, and 0 once the form is gone, in a cell that outlives it.
TEST_F(PlaybackEndingsTest, ThePublishedHandleFollowsTheWindowAndIsZeroOnceTheFormIsGone) {
  TPlayForm& form = Play(FourFrames());
  const Form::SharedHandle handle = form.HandleForOtherThreads();
  ASSERT_TRUE(handle);
  EXPECT_NE(handle->load(), 0u);
  EXPECT_EQ(handle->load(), form.Handle());

  system.ClickMenu(form, "N1");  // re-creates the window
  EXPECT_EQ(handle->load(), form.Handle());
  EXPECT_NE(form.Handle(), 0u);

  player.reset();
  EXPECT_EQ(handle->load(), 0u);
}

// A value no recorder writes is refused like a cut: before anything is
// copied, with the stream back at the start of the item that holds it.
TEST(PayloadReaderRewind, ADamagedSizeConsumesNothingOfItsItem) {
  Bitmap picture(64, 64);
  recorder::FillTestPattern(picture, 2);
  RecordingBuilder builder(picture);
  builder.Interval(40).FirstCursor(1, 2);
  recorder::FillRect(picture, {0, 0, 64, 16}, 0x00FF00);
  recorder::FillRect(picture, {0, 48, 64, 64}, 0xFF0000);  // two cell rows below: a block of its own
  builder.AddFrame(picture, recorder::CursorPosition{3, 4});
  std::vector<ItemMark> marks;
  std::vector<uint8_t> file = recorder::MakeSelfPlaying(recorder::ZeroStub(), builder.Build(), &marks);
  int64_t change = 0;
  int64_t second = 0;
  for (const ItemMark& mark : marks) {
    if (mark.item == "frame 1: cursor change") change = mark.offset;
    if (mark.item == "frame 1: block 1") second = mark.offset;
  }
  ASSERT_GT(change, 0);
  ASSERT_GT(second, change);
  // The second block's JPEG size, behind its frame number and rectangle.
  for (int i = 0; i < 4; ++i) file[static_cast<size_t>(second + 20 + i)] = 0;

  ByteViewStream stream(file);
  PayloadReader reader(stream);
  MemoryStream icon;
  MemoryStream jpeg;
  struct Count : FrameRecordEvents {
    int blocks = 0;
    void Block(const BlockItem&) override { ++blocks; }
  } count;
  stream.Seek(change, SeekOrigin::Begin);
  try {
    reader.ReadFrameRecord(1, true, PayloadReader::LastFrame::kYes, icon, jpeg, count);
    ADD_FAILURE() << "no error";
  } catch (const DamagedRecording& e) {
    EXPECT_EQ(e.Fault().item, "frame 1: block 1");
    EXPECT_EQ(e.Fault().offset, second + 20);
  }
  EXPECT_EQ(count.blocks, 1);
  EXPECT_EQ(stream.Position(), second);
}

}  // namespace
}  // namespace sp::testing
