// Frame 0: the layout of Image1, the key frame, the cursor and the caption.

#include "platform/canvas.h"
#include "tests/engine/engine_fixture.h"

namespace sp::testing {
namespace {

using recorder::RecordingBuilder;

struct Layout {
  int left, top, width, height;
  bool overflow;
};

class FitImageTest : public EngineTest {
 protected:
  // A created form that holds an 800 x 600 recording's header, not shown.
  TPlayForm& Form800x600() {
    TPlayForm& form = Start(ShowPlayer::kLater);
    form.FrameWidth = 800;
    form.FrameHeight = 600;
    return form;
  }

  static Layout Of(TPlayForm& form, bool overflow) {
    const ImageControl& image = form.Image1;
    EXPECT_EQ(image.picture.Width(), image.width);
    EXPECT_EQ(image.picture.Height(), image.height);
    return {image.left, image.top, image.width, image.height, overflow};
  }
};

TEST_F(FitImageTest, CentresShowsOneToOneAndSqueezesEachDirectionAlone) {
  TPlayForm& form = Form800x600();
  auto fit = [&](int w, int h) {
    bool overflow = form.FitImage(w, h);
    return Of(form, overflow);
  };
  Layout centred = fit(1024, 768);
  EXPECT_EQ((std::tuple{centred.left, centred.top, centred.width, centred.height, centred.overflow}),
            (std::tuple{112, 84, 800, 600, false}));
  Layout squeezed = fit(640, 480);
  EXPECT_EQ((std::tuple{squeezed.left, squeezed.top, squeezed.width, squeezed.height, squeezed.overflow}),
            (std::tuple{0, 0, 640, 480, true}));
  Layout vertical = fit(1024, 500);
  EXPECT_EQ((std::tuple{vertical.left, vertical.top, vertical.width, vertical.height, vertical.overflow}),
            (std::tuple{112, 0, 800, 500, true}));
  Layout odd = fit(801, 601);
  EXPECT_EQ((std::tuple{odd.left, odd.top, odd.width, odd.height, odd.overflow}),
            (std::tuple{0, 0, 800, 600, false}));
}

TEST_F(FitImageTest, ResizeSqueezesOnlyWithAutoScaleAndIgnoresTinyWindows) {
  TPlayForm& form = Form800x600();
  form.SetBorderStyle(BorderStyle::None);
  form.SetWindowState(WindowState::Normal);

  form.SetClientSize(640, 480);
  EXPECT_TRUE(form.StretchMode);
  form.SetClientSize(900, 700);
  EXPECT_FALSE(form.StretchMode);
  EXPECT_EQ(form.Image1.left, 50);

  form.SetClientSize(300, 10);
  EXPECT_FALSE(form.StretchMode);
  EXPECT_EQ(form.Image1.left, 50) << "a window 10 pixels high is not laid out";
  EXPECT_EQ(form.Image1.width, 800);
}

TEST_F(FitImageTest, ResizeBeforeAnyPlaybackCentresAnEmptyImage) {
  TPlayForm& form = Start(ShowPlayer::kLater);
  form.SetBorderStyle(BorderStyle::None);
  form.SetWindowState(WindowState::Normal);
  form.SetClientSize(600, 400);
  EXPECT_EQ(form.Image1.left, 300);
  EXPECT_EQ(form.Image1.top, 200);
  EXPECT_TRUE(form.Image1.picture.IsEmpty());
  EXPECT_FALSE(form.StretchMode);
}

class FrameZeroTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    key.SetSize(800, 600);
    recorder::FillTestPattern(key, 3);
  }

  Bitmap key;
};

TEST_F(FrameZeroTest, KeyFrameIsShownOneToOneCentredWithoutCursorData) {
  RecordingBuilder builder(key);
  builder.NoCursor();
  recorder::Recording rec = builder.Build();
  TPlayForm& form = Play(rec);

  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(form.Image1.left, 112);
  EXPECT_EQ(form.Image1.top, 84);
  EXPECT_FALSE(form.StretchMode);
  EXPECT_TRUE(form.Playing);
  EXPECT_FALSE(form.FirstShow);
  EXPECT_EQ(form.CurrentFrame, 1);
  EXPECT_EQ(form.TicksPerFrame, 25);

  Bitmap decoded;
  Decode(rec.keyFrame, decoded);
  EXPECT_TRUE(SameBitmap(Picture(), decoded));
  EXPECT_EQ(form.CursorBackground->Width(), 32);
}

TEST_F(FrameZeroTest, CursorIsDrawnAtItsPositionOverTheSavedBackground) {
  for (auto [x, y] : {std::pair{37, 45}, std::pair{-10, -5}, std::pair{790, 590}}) {
    SCOPED_TRACE(::testing::Message() << "cursor at " << x << ", " << y);
    RecordingBuilder builder(key);
    builder.FirstCursor(x, y);
    recorder::Recording rec = builder.Build();
    TPlayForm& form = Play(rec);

    Bitmap expected;
    Decode(rec.keyFrame, expected);
    Bitmap under(32, 32);
    under.GetCanvas().CopyRect({0, 0, 32, 32}, expected.GetCanvas(), {x, y, x + 32, y + 32});
    Icon arrow;
    LoadIcon(rec.cursorIcon, arrow);
    expected.GetCanvas().Draw(x, y, arrow);

    EXPECT_TRUE(SameBitmap(Picture(), expected));
    EXPECT_TRUE(SameBitmap(*form.CursorBackground, under));
    EXPECT_EQ(form.CursorX, static_cast<float>(x));
  }
}

TEST_F(FrameZeroTest, SqueezedLayoutStretchesTheFrameAndDrawsNoCursor) {
  system.SetScreenSize(640, 480);
  recorder::Recording rec = RecordingBuilder(key).FirstCursor(20, 20).Build();
  TPlayForm& form = Play(rec);

  EXPECT_TRUE(form.StretchMode);
  EXPECT_EQ(form.Image1.width, 640);
  Bitmap decoded;
  Decode(rec.keyFrame, decoded);
  Bitmap expected(640, 480);
  expected.GetCanvas().StretchDraw({0, 0, 640, 480}, decoded);
  EXPECT_TRUE(SameBitmap(Picture(), expected));
}

TEST_F(FrameZeroTest, NarrowScreenSqueezesHorizontallyOnly) {
  system.SetScreenSize(700, 768);
  TPlayForm& form = Play(RecordingBuilder(key).Build());
  EXPECT_TRUE(form.StretchMode);
  EXPECT_EQ((std::tuple{form.Image1.left, form.Image1.top, form.Image1.width, form.Image1.height}),
            (std::tuple{0, 84, 700, 600}));
}

TEST_F(FrameZeroTest, CaptionIsDrawnInItsFontOverTheKeyFrame) {
  recorder::CaptionStyle caption;
  caption.text = "第一课 Lesson";
  caption.textLeftovers = "junk after the zero";
  caption.x = 40;
  caption.y = 30;
  caption.fontSize = 18;
  caption.fontName = "DejaVu Sans";
  caption.fontColor = 0x000000FF;  // red, as 0x00BBGGRR
  caption.bold = 1;
  caption.italic = 2;  // only 1 switches a style on
  caption.underline = 1;
  recorder::Recording rec = RecordingBuilder(key).NoCursor().Caption(caption).Build();
  TPlayForm& form = Play(rec);

  EXPECT_EQ(form.CaptionText, "第一课 Lesson");
  EXPECT_EQ(form.CaptionFontStyle, kFontBold | kFontUnderline);

  Bitmap plain;
  Decode(rec.keyFrame, plain);
  Bitmap expected;
  Decode(rec.keyFrame, expected);
  Canvas& canvas = expected.GetCanvas();
  canvas.brush.style = BrushStyle::Clear;
  canvas.font.size = 18;
  canvas.font.name = "DejaVu Sans";
  canvas.font.color = 0x000000FF;
  canvas.font.style = kFontBold | kFontUnderline;
  canvas.TextOut(40, 30, "第一课 Lesson");
  EXPECT_TRUE(SameBitmap(Picture(), expected));
  EXPECT_FALSE(SameBitmap(Picture(), plain)) << "the caption left no mark";
  // Pure red text pixels over the pattern.
  int red = 0;
  for (int y = 30; y < 60; ++y) {
    for (int x = 40; x < 200; ++x) red += Picture().At(x, y) == 0xFF0000;
  }
  EXPECT_GT(red, 50);
}

TEST_F(FrameZeroTest, FrameZeroIsReadyBeforeTheWindowIsShownMaximised) {
  recorder::Recording rec = RecordingBuilder(key).Build();
  Write(rec);
  Start(ShowPlayer::kNow);
  const std::vector<std::string>& log = system.WindowLog();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[0], "shown");
  EXPECT_EQ(log[1], "client 1024x768");
  EXPECT_EQ(system.TimerCalls().size(), 3u) << "devcaps, period and event before the window shows";
}

}  // namespace
}  // namespace sp::testing
