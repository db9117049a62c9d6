// Exact values a slip would change while every broader test stays green:
// the tick period, the style and cursor flags, the cursor's truncation,
// the menu marks and the layout's edges. Every expectation is worked out
// by hand from the player's rules, never taken from a run of the player.

#include <ostream>
#include <tuple>

#include "platform/canvas.h"
#include "recorder/images.h"
#include "tests/engine/engine_fixture.h"
#include "tests/media/reference_jpeg.h"

namespace sp::testing {
namespace {

using recorder::Block;
using recorder::CursorPosition;
using recorder::RecordingBuilder;

class DescribedValuesTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    key.SetSize(64, 48);
    recorder::FillTestPattern(key, 17);
  }

  // `frames` frames after the key frame, each changing one 16-pixel band.
  recorder::Recording Frames(int frames, int interval, bool cursor = false) {
    RecordingBuilder builder(key);
    builder.Interval(interval);
    if (!cursor) builder.NoCursor();
    Bitmap picture;
    recorder::CopyPixels(key, picture);
    for (int k = 1; k <= frames; ++k) {
      recorder::FillRect(picture, {0, (k % 3) * 16, 64, (k % 3) * 16 + 16}, 0x102030 * k);
      builder.AddFrame(picture);
    }
    return builder.Build();
  }

  TimerCall SetEventCall() const {
    for (const TimerCall& call : system.TimerCalls()) {
      if (call.kind == TimerCall::Kind::kSetEvent) return call;
    }
    return {TimerCall::Kind::kSetEvent};
  }

  Bitmap key;
};

// The frame clock ticks FrameInterval / (FrameInterval / 40) ms apart, so
// the period stays in [40, 80) and a frame still lasts about FrameInterval.
TEST_F(DescribedValuesTest, TickPeriodAndTicksPerFrameFollowTheFrameInterval) {
  struct Case {
    int interval;
    int ticksPerFrame;
    uint32_t delay;
  };
  const Case cases[] = {{40, 1, 40},  {60, 1, 60},  {79, 1, 79},    {80, 2, 40},
                        {100, 2, 50}, {119, 2, 59}, {1000, 25, 40}, {159, 3, 53}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "FrameInterval " << c.interval);
    FreshSystem();
    TPlayForm& form = Play(Frames(2, c.interval));
    EXPECT_EQ(form.TicksPerFrame, c.ticksPerFrame);
    TimerCall set = SetEventCall();
    EXPECT_EQ(set.value, c.delay);
    EXPECT_EQ(set.resolution, 1u);
    EXPECT_EQ(set.flags, kTimePeriodic);
    EXPECT_EQ(system.RunningTimers(), 1u);

    // Frame 1 comes with exactly the TicksPerFrame-th tick.
    Ticks(c.ticksPerFrame - 1);
    EXPECT_EQ(form.CurrentFrame, 1);
    Ticks(1);
    EXPECT_EQ(form.CurrentFrame, 2);
    EXPECT_EQ(form.TickCount, 0);
  }
}

TEST_F(DescribedValuesTest, EachStyleIsOnOnlyWhenItsFlagByteIsExactlyOne) {
  const FontStyles styles[] = {kFontBold, kFontItalic, kFontUnderline, kFontStrikeOut};
  for (int flag = 0; flag < 4; ++flag) {
    for (uint8_t value : {0, 1, 2, 3, 0x81, 0xFF}) {
      SCOPED_TRACE(::testing::Message() << "flag " << flag << " = " << int{value});
      FreshSystem();
      recorder::CaptionStyle caption;
      uint8_t* bytes[] = {&caption.bold, &caption.italic, &caption.underline, &caption.strikeOut};
      *bytes[flag] = value;
      TPlayForm& form = Play(RecordingBuilder(key).NoCursor().Caption(caption).Build());
      EXPECT_EQ(form.CaptionFontStyle, value == 1 ? styles[flag] : 0);
    }
  }
}

// What the user sees: flag bytes other than 1 draw the caption exactly as
// zeros do, and 1 does not.
TEST_F(DescribedValuesTest, CaptionWithFlagBytesOfTwoLooksLikePlainText) {
  auto picture = [&](uint8_t flags, Bitmap& out) {
    FreshSystem();
    recorder::CaptionStyle caption;
    caption.text = "Styled 42";
    caption.x = 2;
    caption.y = 4;
    caption.fontSize = 14;
    caption.fontName = "DejaVu Sans";
    caption.fontColor = 0x000000FF;
    caption.bold = caption.italic = caption.underline = caption.strikeOut = flags;
    Play(RecordingBuilder(key).NoCursor().Caption(caption).Build());
    recorder::CopyPixels(Picture(), out);
  };
  Bitmap plain, two, styled;
  picture(0, plain);
  picture(2, two);
  picture(1, styled);
  EXPECT_TRUE(SameBitmap(two, plain));
  EXPECT_FALSE(SameBitmap(styled, plain));
}

// Only HasCursor 1 puts cursor items in the stream; with any other value a
// player that read them would misread every later item.
TEST_F(DescribedValuesTest, CursorItemsAreReadOnlyWhenHasCursorIsExactlyOne) {
  for (int32_t hasCursor : {0, 2, -1, 256, 0x10001}) {
    SCOPED_TRACE(::testing::Message() << "HasCursor " << hasCursor);
    FreshSystem();
    recorder::Recording rec = Frames(3, 80);
    rec.hasCursor = hasCursor;  // the writer adds cursor items for 1 alone
    rec.cursorX = 5;
    rec.cursorY = 6;
    TPlayForm& form = Play(rec);
    EXPECT_EQ(form.HasCursor, hasCursor);
    EXPECT_EQ(form.CursorX, 0.0f);
    EXPECT_EQ(form.CursorY, 0.0f);

    Bitmap expected;
    Decode(rec.keyFrame, expected);
    EXPECT_TRUE(SameBitmap(Picture(), expected)) << "frame 0 with no cursor drawn";
    EXPECT_EQ(player->TickUntilClosed(100), 6) << "three frames of two ticks, then the end";
    EXPECT_TRUE(player->Closed());
    EXPECT_TRUE(Messages().empty());
  }

  FreshSystem();
  recorder::Recording rec = Frames(3, 80, true);
  rec.cursorX = 5;
  rec.cursorY = 6;
  TPlayForm& form = Play(rec);
  EXPECT_EQ(form.CursorX, 5.0f);
  EXPECT_EQ(form.CursorY, 6.0f);
  EXPECT_EQ(player->TickUntilClosed(100), 6);
  EXPECT_TRUE(Messages().empty());
}

// P(j) = trunc(start + (next - start) * j / TicksPerFrame): toward zero, so
// -7.25 is drawn at -7 and 2.75 at 2, never floored or rounded.
TEST_F(DescribedValuesTest, CursorPathTruncatesTowardZeroOnBothSidesOfTheOrigin) {
  // A white frame: a background saved partly off the picture keeps, where
  // its source was outside, what it held before, and a fresh one is white.
  // On white every erase puts back the frame, so each picture is the frame
  // plus one cursor (whose black outline shows where it is).
  Bitmap flat(64, 48);
  recorder::FillRect(flat, {0, 0, 64, 48}, 0xFFFFFF);
  struct Case {
    CursorPosition from, to;
    std::pair<int, int> drawn[4];  // P(0) .. P(3), TicksPerFrame 4
  };
  const Case cases[] = {
      // x: -3, -7.25, -11.5, -15.75   y: -3, -1.75, -0.5, 0.75
      {{-3, -3}, {-20, 2}, {{-3, -3}, {-7, -1}, {-11, 0}, {-15, 0}}},
      // x: 10, -0.25, -10.5, -20.75   y: 5, -5.75, -16.5, -27.25
      {{10, 5}, {-31, -38}, {{10, 5}, {0, -5}, {-10, -16}, {-20, -27}}},
      // x: 1, 2.75, 4.5, 6.25   y: 2, 2.75, 3.5, 4.25
      {{1, 2}, {8, 5}, {{1, 2}, {2, 2}, {4, 3}, {6, 4}}},
  };
  std::vector<uint8_t> arrow = recorder::MakeIconFile(recorder::ArrowCursor());
  Icon icon;
  LoadIcon(arrow, icon);
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "from " << c.from.x << ", " << c.from.y);
    FreshSystem();
    RecordingBuilder builder(flat);
    builder.FirstCursor(c.from.x, c.from.y, arrow).Interval(160);
    builder.AddFrame(flat, c.to);
    builder.AddFrame(flat);
    recorder::Recording rec = builder.Build();
    TPlayForm& form = Play(rec);
    ASSERT_EQ(form.TicksPerFrame, 4);
    Bitmap decoded;
    Decode(rec.keyFrame, decoded);
    for (int j = 0; j < 4; ++j) {
      SCOPED_TRACE(::testing::Message() << "tick " << j);
      if (j > 0) Ticks(1);
      Bitmap expected;
      recorder::CopyPixels(decoded, expected);
      expected.GetCanvas().Draw(c.drawn[j].first, c.drawn[j].second, icon);
      EXPECT_TRUE(SameBitmap(Picture(), expected));
    }
    // The next frame step draws the recorded position itself.
    Ticks(1);
    Bitmap expected;
    recorder::CopyPixels(decoded, expected);
    expected.GetCanvas().Draw(c.to.x, c.to.y, icon);
    EXPECT_TRUE(SameBitmap(Picture(), expected));
  }
}

// The background under the cursor comes from the rectangle (x, y,
// trunc(w + X), trunc(h + Y)): at a negative fractional X that is one
// pixel narrower than the cursor and is stretched to its width, and the
// next erase puts back exactly what was saved. Canvas serves as the
// reference for the copy and the stretch, whose rules tests/platform pins.
TEST_F(DescribedValuesTest, BackgroundAtNegativeFractionsComesFromTheTruncatedRectangle) {
  std::vector<uint8_t> arrow = recorder::MakeIconFile(recorder::ArrowCursor());
  Icon icon;
  LoadIcon(arrow, icon);
  RecordingBuilder builder(key);
  builder.FirstCursor(-3, -3, arrow).Interval(160);  // 4 ticks per frame
  builder.AddFrame(key, CursorPosition{-20, 2});
  builder.AddFrame(key);
  recorder::Recording rec = builder.Build();
  TPlayForm& form = Play(rec);
  Bitmap decoded;
  Decode(rec.keyFrame, decoded);

  // Frame 0 saves (-3, -3, 29, 29) into a fresh (white) background.
  Bitmap background(32, 32);
  recorder::FillRect(background, {0, 0, 32, 32}, 0xFFFFFF);
  background.GetCanvas().CopyRect({0, 0, 32, 32}, decoded.GetCanvas(), {-3, -3, 29, 29});
  ASSERT_TRUE(SameBitmap(*form.CursorBackground, background));

  // Tick 1: P(1) = (-7.25, -1.75), saved from (-7, -1, 24, 30).
  Ticks(1);
  background.GetCanvas().CopyRect({0, 0, 32, 32}, decoded.GetCanvas(), {-7, -1, 24, 30});
  EXPECT_TRUE(SameBitmap(*form.CursorBackground, background));

  // Tick 2: that background erases at (-7, -1); P(2) = (-11.5, -0.5) is
  // saved from (-11, 0, 20, 31) and the cursor drawn at (-11, 0).
  Ticks(1);
  Bitmap expected;
  recorder::CopyPixels(decoded, expected);
  expected.GetCanvas().Draw(-7, -1, background);
  background.GetCanvas().CopyRect({0, 0, 32, 32}, expected.GetCanvas(), {-11, 0, 20, 31});
  expected.GetCanvas().Draw(-11, 0, icon);
  EXPECT_TRUE(SameBitmap(*form.CursorBackground, background));
  EXPECT_TRUE(SameBitmap(Picture(), expected));
}

// A squeezed picture never shows the cursor: the cursor steps between
// frame steps leave the stretched frame as it is.
TEST_F(DescribedValuesTest, CursorStepsDrawNothingOnASqueezedPicture) {
  system.SetScreenSize(40, 30);
  RecordingBuilder builder(key);
  builder.FirstCursor(4, 4).Interval(160);
  builder.AddFrame(key, CursorPosition{30, 20});
  builder.AddFrame(key);
  recorder::Recording rec = builder.Build();
  TPlayForm& form = Play(rec);
  ASSERT_TRUE(form.StretchMode);
  Bitmap decoded;
  Decode(rec.keyFrame, decoded);
  Bitmap expected(40, 30);
  expected.GetCanvas().StretchDraw({0, 0, 40, 30}, decoded);
  for (int tick = 0; tick <= 4; ++tick) {
    SCOPED_TRACE(::testing::Message() << "tick " << tick);
    if (tick > 0) Ticks(1);
    EXPECT_TRUE(SameBitmap(Picture(), expected));
  }
  EXPECT_EQ(form.CurrentFrame, 2);
}

// Blocks first, then the caption: a block over the caption does not hide it.
TEST_F(DescribedValuesTest, CaptionStaysOnTopOfABlockThatCoversIt) {
  recorder::CaptionStyle caption;
  caption.text = "HHHH";
  caption.x = 4;
  caption.y = 4;
  caption.fontSize = 18;
  caption.fontName = "DejaVu Sans";
  caption.fontColor = 0x000000FF;  // red, as 0x00BBGGRR
  Bitmap blue(64, 48);
  recorder::FillRect(blue, {0, 0, 64, 48}, 0x0000FF);
  Block cover;
  cover.rect = Rect{0, 0, 64, 48};
  cover.jpeg = recorder::EncodeJpeg(blue);
  RecordingBuilder builder(key);
  builder.NoCursor().Interval(40).Caption(caption);
  builder.AddFrameBlocks({cover});
  builder.AddFrameBlocks({});
  Play(builder.Build());
  auto redPixels = [&] {
    int red = 0;
    for (int y = 0; y < 48; ++y) {
      for (int x = 0; x < 64; ++x) red += Picture().At(x, y) == 0xFF0000;
    }
    return red;
  };
  ASSERT_GT(redPixels(), 40);
  Ticks(1);
  EXPECT_EQ(Picture().At(60, 44) & 0xF0F0F0, 0x0000F0u) << "the block is shown";
  EXPECT_GT(redPixels(), 40) << "the caption is drawn again over the block";
}

TEST_F(DescribedValuesTest, LoopMarkToggledOnAndOffAgainClosesAtTheEnd) {
  TPlayForm& form = Play(Frames(1, 80));
  system.ClickMenu(form, "N3");
  EXPECT_TRUE(form.N3->checked);
  system.ClickMenu(form, "N3");
  EXPECT_FALSE(form.N3->checked);
  EXPECT_EQ(player->TickUntilClosed(50), 2);
  EXPECT_TRUE(player->Closed());

  // Three clicks leave it on: the recording starts again.
  FreshSystem();
  TPlayForm& looping = Play(Frames(1, 80));
  for (int i = 0; i < 3; ++i) system.ClickMenu(looping, "N3");
  EXPECT_TRUE(looping.N3->checked);
  Ticks(2);
  EXPECT_FALSE(player->Closed());
  EXPECT_EQ(looping.CurrentFrame, 1);
  EXPECT_TRUE(looping.Playing);
}

TEST_F(DescribedValuesTest, ExitAtEndMarkToggledOffAndOnAgainStillCloses) {
  TPlayForm& form = Play(Frames(1, 80));
  system.ClickMenu(form, "N7");
  EXPECT_FALSE(form.N7->checked);
  system.ClickMenu(form, "N7");
  EXPECT_TRUE(form.N7->checked);
  EXPECT_EQ(player->TickUntilClosed(50), 2);
  EXPECT_TRUE(player->Closed());
}

TEST_F(DescribedValuesTest, PauseMarkFollowsEachClickAndTheClockResumesWhereItStood) {
  TPlayForm& form = Play(Frames(3, 160));  // 4 ticks per frame
  Ticks(1);
  for (int click = 1; click <= 4; ++click) {
    SCOPED_TRACE(::testing::Message() << "click " << click);
    if (click % 2) {
      system.ClickMenu(form, "N6");
    } else {
      system.ClickImage(form);
    }
    bool paused = click % 2 == 1;
    EXPECT_EQ(form.N6->checked, paused);
    EXPECT_EQ(form.Playing, !paused);
    Ticks(5);
    // Paused, the five ticks are dropped; playing, they run on from the
    // tick count the pause left (4 ticks per frame).
    const int framesShown[] = {1, 2, 2, 3};
    EXPECT_EQ(form.CurrentFrame, framesShown[click - 1]);
  }
  EXPECT_EQ(form.CurrentFrame, 3);
  EXPECT_EQ(form.TickCount, 3);
}

TEST_F(DescribedValuesTest, FullScreenMarkOffAndOnAgainRestoresTheLayout) {
  system.SetScreenSize(1001, 701);  // odd: every half is rounded toward zero
  TPlayForm& form = Play(Frames(1, 1000));
  // 64 x 48 centred on 1001 x 701.
  EXPECT_EQ((std::tuple{form.Image1.left, form.Image1.top}), (std::tuple{468, 326}));
  system.ClickMenu(form, "N1");
  EXPECT_FALSE(form.N1->checked);
  // Client 500 x 350: (500 - 64) / 2, (350 - 48) / 2.
  EXPECT_EQ((std::tuple{form.ClientWidth(), form.ClientHeight()}), (std::tuple{500, 350}));
  EXPECT_EQ((std::tuple{form.Image1.left, form.Image1.top}), (std::tuple{218, 151}));
  system.ClickMenu(form, "N1");
  EXPECT_TRUE(form.N1->checked);
  EXPECT_EQ((std::tuple{form.Image1.left, form.Image1.top}), (std::tuple{468, 326}));
}

// The key frame and a block as the user sees them, against the reference
// decoder's pixels rather than our own decoder's.
TEST_F(DescribedValuesTest, KeyFrameAndBlocksShowTheReferenceDecodersPixels) {
  using media_testing::kReferenceJpeg;
  using media_testing::kReferencePixels;
  const std::vector<uint8_t> jpeg(std::begin(kReferenceJpeg), std::end(kReferenceJpeg));
  auto matchesReference = [](const Bitmap& picture, int left, int top) {
    int wrong = 0;
    for (int i = 0; i < 256; ++i) wrong += picture.At(left + i % 16, top + i / 16) != kReferencePixels[i];
    return wrong;
  };

  Bitmap small(16, 16);
  recorder::Recording rec = RecordingBuilder(small).NoCursor().Build();
  rec.keyFrame = jpeg;
  TPlayForm& form = Play(rec);
  ASSERT_EQ(Picture().Width(), 16);
  EXPECT_EQ(matchesReference(Picture(), 0, 0), 0) << "key frame pixels unlike the reference";
  EXPECT_EQ(form.Image1.left, (1024 - 16) / 2);

  FreshSystem();
  Bitmap frame(48, 32);
  recorder::FillRect(frame, {0, 0, 48, 32}, 0x000000);
  RecordingBuilder builder(frame);
  builder.NoCursor().Interval(40);
  Block block;
  block.rect = Rect{8, 4, 24, 20};
  block.jpeg = jpeg;
  builder.AddFrameBlocks({block});
  builder.AddFrameBlocks({});  // so that the playback is still on after frame 1
  TPlayForm& played = Play(builder.Build());
  Ticks(1);
  ASSERT_EQ(played.CurrentFrame, 2);
  ASSERT_TRUE(played.FrameBitmap);
  EXPECT_EQ(matchesReference(*played.FrameBitmap, 8, 4), 0) << "block pixels unlike the reference";
  EXPECT_EQ(matchesReference(Picture(), 8, 4), 0);
}

struct Layout {
  int left, top, width, height;
  bool overflow;
  bool operator==(const Layout&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Layout& l) {
  return out << "(" << l.left << ", " << l.top << ") " << l.width << "x" << l.height
             << (l.overflow ? " overflow" : "");
}

class LayoutEdgesTest : public EngineTest {
 protected:
  TPlayForm& Form800x600() {
    TPlayForm& form = Start(ShowPlayer::kLater);
    form.FrameWidth = 800;
    form.FrameHeight = 600;
    return form;
  }
  static Layout Of(const TPlayForm& form, bool overflow) {
    const ImageControl& image = form.Image1;
    EXPECT_EQ(image.picture.Width(), image.width);
    EXPECT_EQ(image.picture.Height(), image.height);
    return {image.left, image.top, image.width, image.height, overflow};
  }
};

TEST_F(LayoutEdgesTest, FitImageAtAndAroundTheRecordingsOwnSize) {
  TPlayForm& form = Form800x600();
  auto fit = [&](int w, int h) { return Of(form, form.FitImage(w, h)); };
  EXPECT_EQ(fit(800, 600), (Layout{0, 0, 800, 600, false})) << "an equal area is no overflow";
  EXPECT_EQ(fit(799, 600), (Layout{0, 0, 799, 600, true}));
  EXPECT_EQ(fit(800, 599), (Layout{0, 0, 800, 599, true}));
  EXPECT_EQ(fit(803, 605), (Layout{1, 2, 800, 600, false}));
  EXPECT_EQ(fit(1025, 601), (Layout{112, 0, 800, 600, false}));
  EXPECT_EQ(fit(500, 900), (Layout{0, 150, 500, 600, true})) << "horizontal squeeze only";
  EXPECT_EQ(fit(0, 0), (Layout{0, 0, 0, 0, true}));
}

TEST_F(LayoutEdgesTest, FormResizeNeedsMoreThanTenPixelsAndAutoScaleForSqueezing) {
  TPlayForm& form = Form800x600();
  form.SetBorderStyle(BorderStyle::None);
  form.SetWindowState(WindowState::Normal);
  form.SetClientSize(900, 700);
  ASSERT_EQ(Of(form, false), (Layout{50, 50, 800, 600, false}));

  form.SetClientSize(10, 300);
  EXPECT_EQ(form.Image1.left, 50) << "10 pixels wide: not laid out";
  form.SetClientSize(11, 300);
  EXPECT_EQ(Of(form, true), (Layout{0, 0, 11, 300, true}));
  EXPECT_TRUE(form.StretchMode);
  form.SetClientSize(900, 10);
  EXPECT_EQ(form.Image1.width, 11) << "10 pixels high: not laid out";
  EXPECT_TRUE(form.StretchMode);
  form.SetClientSize(900, 11);
  EXPECT_EQ(Of(form, true), (Layout{50, 0, 800, 11, true}));

  // Without auto scale an overflowing layout is still made, but not stretched.
  form.SetChecked(*form.N2, false);
  form.SetClientSize(640, 480);
  EXPECT_EQ(Of(form, true), (Layout{0, 0, 640, 480, true}));
  EXPECT_FALSE(form.StretchMode);
  form.SetChecked(*form.N2, true);
  form.SetClientSize(641, 480);
  EXPECT_TRUE(form.StretchMode);
  form.SetClientSize(900, 700);
  EXPECT_FALSE(form.StretchMode);
}

// The recording ends when the terminator of frame FrameCount - 1 has been
// read, whatever the ticks or the file still hold.
TEST_F(DescribedValuesTest, RecordingEndsAtTheTerminatorOfItsLastFrame) {
  for (int frames : {1, 2, 5}) {
    SCOPED_TRACE(::testing::Message() << "FrameCount " << frames + 1);
    FreshSystem();
    TPlayForm& form = Play(Frames(frames, 120));  // 3 ticks per frame
    Ticks(3 * frames - 1);
    EXPECT_FALSE(player->Closed());
    EXPECT_EQ(form.CurrentFrame, frames);
    Ticks(1);
    EXPECT_TRUE(player->Closed());
  }

  // A header that promises fewer frames than the file holds ends early.
  FreshSystem();
  recorder::Recording rec = Frames(4, 40);
  rec.frameCountOverride = 3;
  Play(rec);
  EXPECT_EQ(player->TickUntilClosed(50), 2);
  EXPECT_TRUE(Messages().empty());
}

}  // namespace
}  // namespace sp::testing
