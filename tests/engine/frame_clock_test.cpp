// The frame clock: compositing of frame records, the cursor's glide, and
// the end of a recording.

#include "platform/canvas.h"
#include "playback/frame_clock.h"
#include "recorder/images.h"
#include "tests/engine/engine_fixture.h"

namespace sp::testing {
namespace {

using recorder::Block;
using recorder::CursorPosition;
using recorder::RecordingBuilder;

class FrameClockTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    key.SetSize(320, 240);
    recorder::FillTestPattern(key, 11);
  }

  // A block of w x h pixels of a pattern, to be placed at (left, top).
  static Block PatternBlock(int left, int top, int w, int h, uint32_t seed) {
    Bitmap b(w, h);
    recorder::FillTestPattern(b, seed);
    Block block;
    block.rect = Rect{left, top, left + w, top + h};
    block.jpeg = recorder::EncodeJpeg(b);
    return block;
  }

  // The decoded picture with the cursor icon drawn at (x, y).
  static void WithCursor(const Bitmap& picture, const std::vector<uint8_t>& icon, int x, int y,
                         Bitmap& out) {
    out.SetSize(picture.Width(), picture.Height());
    out.GetCanvas().Draw(0, 0, picture);
    Icon cursor;
    LoadIcon(icon, cursor);
    out.GetCanvas().Draw(x, y, cursor);
  }

  Bitmap key;
};

TEST_F(FrameClockTest, BlocksArePastedInStoredOrderAndTheTitleNamesFramesWithBlocks) {
  Block first = PatternBlock(10, 10, 64, 48, 21);
  Block second = PatternBlock(40, 30, 64, 48, 22);
  Block edge = PatternBlock(300, 220, 64, 48, 23);  // runs off the frame: clipped
  RecordingBuilder builder(key);
  builder.NoCursor().Interval(80);  // 2 ticks per frame
  builder.AddFrameBlocks({first, second, edge});
  builder.AddFrameBlocks({});
  builder.AddFrameBlocks({PatternBlock(0, 0, 16, 16, 24)});
  builder.AddFrameBlocks({});
  recorder::Recording rec = builder.Build();
  TPlayForm& form = Play(rec);
  ASSERT_EQ(form.TicksPerFrame, 2);

  Bitmap expected;
  Decode(rec.keyFrame, expected);
  for (const Block* b : {&first, &second, &edge}) {
    Bitmap decoded;
    Decode(b->jpeg, decoded);
    expected.GetCanvas().Draw(b->rect.left, b->rect.top, decoded);
  }
  Ticks(1);
  EXPECT_EQ(form.CurrentFrame, 1);
  Ticks(1);
  EXPECT_EQ(form.CurrentFrame, 2);
  EXPECT_TRUE(SameBitmap(Picture(), expected));
  EXPECT_TRUE(SameBitmap(*form.FrameBitmap, expected));
  EXPECT_EQ(form.Caption(), "1");

  Ticks(2);
  EXPECT_EQ(form.Caption(), "1") << "a frame without blocks keeps the title";
  EXPECT_TRUE(SameBitmap(Picture(), expected));
  Ticks(2);
  EXPECT_EQ(system.CaptionHistory(), (std::vector<std::string>{"1", "3"}));
  EXPECT_TRUE(Messages().empty());
}

TEST_F(FrameClockTest, CursorGlidesAlongItsPathAndRestoresThePixelsBehindIt) {
  RecordingBuilder builder(key);
  builder.FirstCursor(100, 100).Interval(160);  // 4 ticks per frame
  builder.AddFrame(key, CursorPosition{200, 50});
  builder.AddFrame(key);
  recorder::Recording rec = builder.Build();
  TPlayForm& form = Play(rec);
  ASSERT_EQ(form.TicksPerFrame, 4);

  Bitmap decoded;
  Decode(rec.keyFrame, decoded);
  const std::pair<int, int> path[] = {{100, 100}, {125, 87}, {150, 75}, {175, 62}, {200, 50}};
  for (int j = 0; j <= 4; ++j) {
    SCOPED_TRACE(::testing::Message() << "tick " << j);
    if (j > 0) Ticks(1);
    Bitmap expected;
    WithCursor(decoded, rec.cursorIcon, path[j].first, path[j].second, expected);
    EXPECT_TRUE(SameBitmap(Picture(), expected));
  }
  EXPECT_EQ(form.CurrentFrame, 2);
  EXPECT_EQ(form.TickCount, 0);
  // One cursor step touches two cursor-sized rectangles, never the picture.
  Ticks(1);
  Rect touched = system.LastPresented();
  EXPECT_LE(touched.Width() * touched.Height(), 64 * 64);
}

TEST_F(FrameClockTest, CursorChangesWithItsIconAndKeepsItForEmptyOrNegativeSizes) {
  std::vector<uint8_t> text = recorder::MakeIconFile(recorder::TextCursor());
  RecordingBuilder builder(key);
  builder.FirstCursor(50, 60).Interval(40);  // every tick a frame step
  builder.AddFrame(key, std::nullopt, text);
  builder.AddFrame(key);
  builder.AddFrame(key);
  builder.AddFrame(key);
  recorder::Recording rec = builder.Build();
  rec.frames[2].cursorChangeSize = -5;
  Play(rec);

  Bitmap decoded;
  Decode(rec.keyFrame, decoded);
  for (int k = 1; k <= 3; ++k) {
    SCOPED_TRACE(::testing::Message() << "frame " << k);
    Ticks(1);
    Bitmap expected;
    WithCursor(decoded, text, 50, 60, expected);
    EXPECT_TRUE(SameBitmap(Picture(), expected));
    // The I-beam inverts the screen under it.
    EXPECT_EQ(Picture().At(65, 76), decoded.At(65, 76) ^ 0xFFFFFF);
  }
  EXPECT_FALSE(player->Closed());
  EXPECT_TRUE(Messages().empty());
}

TEST_F(FrameClockTest, StretchedPlaybackReadsCursorChangesButDrawsNoCursor) {
  system.SetScreenSize(300, 200);
  std::vector<uint8_t> text = recorder::MakeIconFile(recorder::TextCursor());
  RecordingBuilder builder(key);
  builder.FirstCursor(10, 10).Interval(80);
  builder.AddFrame(key, CursorPosition{30, 30}, text);
  builder.AddFrame(key);
  recorder::Recording rec = builder.Build();
  TPlayForm& form = Play(rec);
  ASSERT_TRUE(form.StretchMode);
  Ticks(2);
  Bitmap decoded;
  Decode(rec.keyFrame, decoded);
  Bitmap expected(300, 200);
  expected.GetCanvas().StretchDraw({0, 0, 300, 200}, decoded);
  EXPECT_TRUE(SameBitmap(Picture(), expected));
  EXPECT_EQ(form.CurrentFrame, 2);
}

TEST_F(FrameClockTest, LastFrameClosesTheFormAndStopsEverything) {
  RecordingBuilder builder(key);
  builder.Interval(80).Sound(recorder::ToneWav(0.5));
  builder.AddFrameBlocks({PatternBlock(0, 0, 32, 32, 5)});
  builder.AddFrameBlocks({});
  TPlayForm& form = Play(builder.Build());
  ASSERT_EQ(system.OpenDevices().size(), 1u);

  EXPECT_EQ(player->TickUntilClosed(100), 4);
  EXPECT_TRUE(player->Closed());
  EXPECT_EQ(form.CurrentFrame, 3);
  EXPECT_FALSE(form.Playing);
  EXPECT_EQ(form.FrameBitmap, nullptr);
  EXPECT_EQ(form.CursorImage, nullptr);
  EXPECT_EQ(system.RunningTimers(), 0u);
  EXPECT_EQ(system.OpenPeriods(), 0);
  EXPECT_TRUE(system.OpenDevices().empty());
  // The end closes the device without waiting; the close adds its own.
  const std::vector<MciCall>& mci = system.MciCalls();
  ASSERT_GE(mci.size(), 3u);
  EXPECT_EQ(mci[2].kind, MciCall::Kind::kClose);
  EXPECT_EQ(mci[2].flags, kMciNoFlags);
  EXPECT_EQ(mci[2].result, 0u);
}

TEST_F(FrameClockTest, LoopStartsAgainFromFrameZeroWithTheSoundRestarted) {
  std::vector<uint8_t> wav = recorder::ToneWav(0.5);
  RecordingBuilder builder(key);
  builder.Interval(80).Sound(wav).FirstCursor(5, 5);
  Bitmap changed;
  recorder::CopyPixels(key, changed);
  recorder::FillRect(changed, {0, 0, 100, 100}, 0x00FF00);
  builder.AddFrame(changed);
  recorder::Recording rec = builder.Build();
  TPlayForm& form = Play(rec);
  Bitmap frameZero;
  recorder::CopyPixels(Picture(), frameZero);

  system.ClickMenu(form, "N3");
  ASSERT_TRUE(form.N3->checked);
  Ticks(2);
  EXPECT_FALSE(player->Closed());
  EXPECT_TRUE(form.Playing);
  EXPECT_EQ(form.CurrentFrame, 1);
  EXPECT_EQ(form.TickCount, 0);
  EXPECT_TRUE(SameBitmap(Picture(), frameZero));

  std::vector<MciCall::Kind> kinds;
  for (const MciCall& call : system.MciCalls()) kinds.push_back(call.kind);
  using K = MciCall::Kind;
  EXPECT_EQ(kinds, (std::vector<K>{K::kOpen, K::kPlay, K::kClose, K::kOpen, K::kPlay}));
  EXPECT_EQ(system.MciCalls()[3].contents, wav);
  EXPECT_EQ(system.OpenDevices().size(), 1u);
  EXPECT_EQ(system.RunningTimers(), 1u);

  // Looping goes on for as long as the mark stays.
  Ticks(20);
  EXPECT_FALSE(player->Closed());
  EXPECT_EQ(system.OpenDevices().size(), 1u);
  EXPECT_EQ(system.OpenPeriods(), 1);
}

TEST_F(FrameClockTest, WithoutExitAtEndTheLastFrameStaysShown) {
  RecordingBuilder builder(key);
  builder.Interval(80).NoCursor().Sound(recorder::ToneWav(0.2));
  Bitmap changed;
  recorder::CopyPixels(key, changed);
  recorder::FillRect(changed, {50, 50, 150, 90}, 0x0000FF);
  builder.AddFrame(changed);
  recorder::Recording rec = builder.Build();
  TPlayForm& form = Play(rec);
  system.ClickMenu(form, "N7");
  ASSERT_FALSE(form.N7->checked);

  Ticks(2);
  EXPECT_FALSE(player->Closed());
  EXPECT_FALSE(form.Playing);
  EXPECT_EQ(form.CurrentFrame, form.FrameCount);
  EXPECT_EQ(system.RunningTimers(), 0u);
  EXPECT_TRUE(system.OpenDevices().empty());
  EXPECT_EQ(Picture().At(100, 70) & 0xF0F0F0, 0x0000F0u) << "the last frame is still shown";

  // Restart still works from there, and exit closes.
  system.ClickMenu(form, "N4");
  EXPECT_TRUE(form.Playing);
  EXPECT_EQ(form.CurrentFrame, 1);
  system.ClickMenu(form, "N8");
  EXPECT_TRUE(player->Closed());
}

TEST_F(FrameClockTest, SingleFrameRecordingGlidesShortOfItsNextPositionAndNeverEnds) {
  RecordingBuilder builder(key);
  builder.FirstCursor(0, 0).Interval(160);
  recorder::Recording rec = builder.Build();
  rec.nextCursorX = 40;
  rec.nextCursorY = 80;
  TPlayForm& form = Play(rec);

  Ticks(10);
  Bitmap decoded;
  Decode(rec.keyFrame, decoded);
  Bitmap expected;
  WithCursor(decoded, rec.cursorIcon, 30, 60, expected);
  EXPECT_TRUE(SameBitmap(Picture(), expected));
  EXPECT_FALSE(player->Closed());
  EXPECT_EQ(form.CurrentFrame, 1);
  EXPECT_EQ(form.TickCount, 10);
}

// The clock's arithmetic, which the stub, the viewer and export share:
// ticks are whole milliseconds, rounded down, so a frame may be shorter
// than its interval; and every tick maps back to the frame it shows.
TEST(FrameClockValues, TicksFramesAndMillisecondsAgree) {
  struct Case {
    int32_t interval;
    int32_t ticksPerFrame;
    int32_t tickMs;
  };
  for (const Case c : {Case{40, 1, 40}, Case{79, 1, 79}, Case{990, 24, 41}, Case{1000, 25, 40},
                       Case{1010, 25, 40}, Case{39, 0, 0}, Case{0, 0, 0}, Case{-40, 0, 0}}) {
    SCOPED_TRACE(c.interval);
    const FrameClock clock(c.interval);
    EXPECT_EQ(clock.TicksPerFrame(), c.ticksPerFrame);
    EXPECT_EQ(clock.TickMilliseconds(), c.tickMs);
    EXPECT_EQ(clock.Runs(), c.ticksPerFrame > 0);
    if (!clock.Runs()) {
      EXPECT_EQ(clock.FrameAtTick(100), 0);
      EXPECT_EQ(clock.TickAt(100), 0);
      continue;
    }
    for (int64_t tick = 0; tick < 3 * c.ticksPerFrame + 2; ++tick) {
      const int64_t frame = clock.FrameAtTick(tick);
      EXPECT_LE(clock.TickOfFrame(frame), tick);
      EXPECT_GT(clock.TickOfFrame(frame + 1), tick);
      EXPECT_EQ(clock.TickAt(clock.MillisecondsOf(tick)), tick);
      EXPECT_EQ(clock.TickAt(clock.MillisecondsOf(tick + 1) - 1), tick);
    }
    EXPECT_EQ(clock.FrameAtTick(-5), 0);
    EXPECT_EQ(clock.TickAt(-5), 0);
  }
}

}  // namespace
}  // namespace sp::testing
