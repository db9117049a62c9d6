// Recordings no recorder writes: each ends in its message, and nothing
// crashes, hangs or sizes a buffer from a size the file cannot hold.

#include <functional>
#include <set>

#include "recorder/images.h"
#include "tests/engine/engine_fixture.h"

namespace sp::testing {
namespace {

using recorder::Recording;
using recorder::RecordingBuilder;

constexpr const char* kDamaged = "录像文件已损坏";

class BadInputTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    key.SetSize(160, 120);
    recorder::FillTestPattern(key, 8);
  }

  Recording Good(bool sound = false) {
    RecordingBuilder builder(key);
    builder.Interval(80).FirstCursor(4, 4);
    if (sound) builder.Sound(recorder::ToneWav(0.2));
    Bitmap picture;
    recorder::CopyPixels(key, picture);
    for (int k = 1; k <= 3; ++k) {
      recorder::FillRect(picture, {k * 10, 0, k * 10 + 30, 30}, 0x102030 * k);
      builder.AddFrame(picture);
    }
    return builder.Build();
  }

  // Not started: the clock was never set and the playback's objects are gone.
  void ExpectRejected(const TPlayForm& form) {
    EXPECT_EQ(Messages(), (std::vector<std::string>{kDamaged}));
    EXPECT_EQ(system.MessageBoxes().at(0).kind, MessageBoxRecord::Kind::kMessage);
    EXPECT_FALSE(form.Playing);
    EXPECT_TRUE(form.FirstShow);
    EXPECT_EQ(form.FrameBitmap, nullptr);
    EXPECT_EQ(form.RecordingStream, nullptr);
    EXPECT_EQ(system.RunningTimers(), 0u);
    EXPECT_TRUE(system.OpenDevices().empty());
  }

  // The error box with the framework's text and its full stop.
  void ExpectErrorBox(const std::string& text) {
    ASSERT_FALSE(system.MessageBoxes().empty());
    const MessageBoxRecord& box = system.MessageBoxes().back();
    EXPECT_EQ(box.kind, MessageBoxRecord::Kind::kError);
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.title, "Lesson1");
  }

  Bitmap key;
};

struct HeaderFault {
  const char* name;
  std::function<void(Recording&)> damage;
};

TEST_F(BadInputTest, HeaderValuesNoRecorderWritesAreRejectedBeforeAnythingIsSized) {
  const HeaderFault faults[] = {
      {"interval 39", [](Recording& r) { r.frameInterval = 39; }},
      {"interval 0", [](Recording& r) { r.frameInterval = 0; }},
      {"interval negative", [](Recording& r) { r.frameInterval = -1000; }},
      {"width 0", [](Recording& r) { r.frameWidth = 0; }},
      {"width negative", [](Recording& r) { r.frameWidth = -160; }},
      {"width 16385", [](Recording& r) { r.frameWidth = 16385; }},
      {"height 0", [](Recording& r) { r.frameHeight = 0; }},
      {"height huge", [](Recording& r) { r.frameHeight = 0x7FFFFFFF; }},
      {"frame count 0", [](Recording& r) { r.frameCountOverride = 0; }},
      {"frame count negative", [](Recording& r) { r.frameCountOverride = -3; }},
      {"first cursor size 0", [](Recording& r) { r.cursorIconSizeOverride = 0; }},
      {"first cursor size negative", [](Recording& r) { r.cursorIconSizeOverride = -766; }},
      {"key frame size 0", [](Recording& r) { r.keyFrameSizeOverride = 0; }},
      {"key frame size negative", [](Recording& r) { r.keyFrameSizeOverride = -1; }},
  };
  for (const HeaderFault& fault : faults) {
    for (bool sound : {false, true}) {
      SCOPED_TRACE(::testing::Message() << fault.name << (sound ? ", with sound" : ""));
      FreshSystem();
      Recording rec = Good(sound);
      fault.damage(rec);
      TPlayForm& form = Play(rec);
      ExpectRejected(form);
    }
  }
}

TEST_F(BadInputTest, SizesBeyondTheFileAreStreamReadErrors) {
  const HeaderFault faults[] = {
      {"first cursor", [](Recording& r) { r.cursorIconSizeOverride = 0x7FFFFFFF; }},
      {"key frame", [](Recording& r) { r.keyFrameSizeOverride = 0x7FFFFFF0; }},
  };
  for (const HeaderFault& fault : faults) {
    SCOPED_TRACE(fault.name);
    FreshSystem();
    Recording rec = Good();
    fault.damage(rec);
    TPlayForm& form = Play(rec);
    ExpectErrorBox("Stream read error.");
    EXPECT_EQ(system.MessageBoxes().size(), 1u);
    EXPECT_FALSE(form.Playing);
    EXPECT_TRUE(form.FirstShow);
    EXPECT_EQ(system.RunningTimers(), 0u);
  }
}

TEST_F(BadInputTest, BlockOfNoBytesEndsThePlaybackOnceAndKeepsThePicture) {
  Recording rec = Good(true);
  rec.frames[1].blocks.at(0).sizeOverride = 0;
  TPlayForm& form = Play(rec);
  Ticks(2);
  Bitmap frameOne;
  recorder::CopyPixels(Picture(), frameOne);
  Ticks(2);
  EXPECT_EQ(Messages(), (std::vector<std::string>{kDamaged}));
  EXPECT_FALSE(form.Playing);
  EXPECT_EQ(system.RunningTimers(), 0u);
  EXPECT_TRUE(system.OpenDevices().empty());
  EXPECT_TRUE(SameBitmap(Picture(), frameOne));
  EXPECT_FALSE(player->Closed());
  Ticks(10);
  EXPECT_EQ(Messages().size(), 1u);
}

TEST_F(BadInputTest, BlockRunningPastTheEndIsAStreamReadErrorAtItsFrame) {
  Recording rec = Good();
  rec.frames[0].blocks.at(0).sizeOverride = 0x7FFFFFFF;
  TPlayForm& form = Play(rec);
  Ticks(2);
  ExpectErrorBox("Stream read error.");
  EXPECT_EQ(form.Caption(), "1");
  // The clock goes on; the rest of the file is read as it stands.
  player->TickUntilClosed(50);
  for (const MessageBoxRecord& box : system.MessageBoxes()) {
    EXPECT_EQ(box.kind, MessageBoxRecord::Kind::kError);
  }
}

TEST_F(BadInputTest, BlockPictureLargerThanTheFrameIsRejectedByTheDecoder) {
  Bitmap wide(200, 20);
  recorder::FillTestPattern(wide, 2);
  RecordingBuilder builder(key);
  builder.Interval(40).NoCursor();
  recorder::Block block;
  block.rect = Rect{0, 0, 200, 20};
  block.jpeg = recorder::EncodeJpeg(wide);
  builder.AddFrameBlocks({block});
  builder.AddFrame(key);
  Play(builder.Build());
  Ticks(1);
  ASSERT_EQ(system.MessageBoxes().size(), 1u);
  const MessageBoxRecord& box = system.MessageBoxes()[0];
  EXPECT_EQ(box.kind, MessageBoxRecord::Kind::kError);
  EXPECT_EQ(box.text.rfind("JPEG error #", 0), 0u) << box.text;
}

TEST_F(BadInputTest, BrokenCursorIconIsTheIconError) {
  Recording rec = Good();
  rec.cursorIcon[2] = 7;  // not an icon file's type
  Play(rec);
  ExpectErrorBox("Icon image is not valid.");
}

TEST_F(BadInputTest, ShortFilesAreStreamReadErrorsAndAMissingPlayerIsFailed1) {
  Write(Good());
  std::vector<uint8_t> bytes = fileBytes;
  // Inside the lead word.
  WriteBytes(std::vector<uint8_t>(bytes.begin(), bytes.begin() + PAYLOAD_OFFSET + 2));
  Start();
  ExpectErrorBox("Stream read error.");
  // Inside the video header: an integer cut short.
  WriteBytes(std::vector<uint8_t>(bytes.begin(), bytes.begin() + PAYLOAD_OFFSET + 4 + 14));
  Start();
  ExpectErrorBox("Stream read error.");
  EXPECT_EQ(system.MessageBoxes().size(), 2u);

  system.SetExecutablePath((dir / "missing.exe").string());
  TPlayForm& form = Start();
  EXPECT_EQ(Messages().back(), "failed1");
  EXPECT_FALSE(form.Playing);
  EXPECT_TRUE(form.FirstShow);
}

TEST_F(BadInputTest, TimerFailuresShowFrameZeroWithoutAClock) {
  for (int which = 0; which < 3; ++which) {
    SCOPED_TRACE(which);
    FreshSystem();
    system.failures.devCaps = which == 0 ? 1 : 0;
    system.failures.beginPeriodNoCanDo = which == 1;
    system.failures.setEventFails = which == 2;
    TPlayForm& form = Play(Good());
    EXPECT_EQ(Messages(), (std::vector<std::string>{"设置定时器失败"}));
    EXPECT_TRUE(form.Playing);
    EXPECT_EQ(form.CurrentFrame, 1);
    EXPECT_FALSE(system.Tick());
    system.ClickMenu(form, "N8");
    EXPECT_TRUE(player->Closed());
  }
}

TEST_F(BadInputTest, RecordingCutAtEveryItemEndsInAKnownWay) {
  std::vector<recorder::ItemMark> marks;
  Write(Good(true), &marks);
  const std::vector<uint8_t> whole = fileBytes;
  const std::set<std::string> known = {"Stream read error.", "读取声音失败", kDamaged,
                                       "打开声音设备失败"};
  for (const recorder::ItemMark& mark : marks) {
    for (int64_t delta : {0, 3, 9}) {
      int64_t cut = mark.offset + delta;
      if (cut >= static_cast<int64_t>(whole.size())) continue;
      SCOPED_TRACE(::testing::Message() << mark.item << " + " << delta);
      FreshSystem();
      WriteBytes(std::vector<uint8_t>(whole.begin(), whole.begin() + cut));
      Start();
      player->TickUntilClosed(40);
      for (const std::string& text : Messages()) EXPECT_TRUE(known.count(text)) << text;
      // Only the last frame's next cursor position, never shown, may be
      // missing without a word: the recording then ends as usual.
      if (whole.size() - static_cast<size_t>(cut) <= 8) {
        EXPECT_TRUE(Messages().empty());
        EXPECT_TRUE(player->Closed());
      } else {
        EXPECT_FALSE(Messages().empty());
      }
      player.reset();
      EXPECT_TRUE(system.OpenDevices().empty());
      EXPECT_EQ(system.RunningTimers(), 0u);
    }
  }
}

}  // namespace
}  // namespace sp::testing
