// Packing against what the player shows: a window dragged across a gradient
// leaves no trail, measured on the frames export writes from the headless
// player.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "recorder/change_detection.h"
#include "recorder/images.h"
#include "recorder/recording_builder.h"
#include "recorder/shown_screen.h"
#include "recorder/test_media.h"
#include "tests/tool/tool_fixture.h"
#include "tools/export.h"
#include "tools/png_io.h"

namespace sp::tool {
namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kFrames = 60;

// A desktop gradient in all three channels, the hardest case for seams.
void PaintDesktop(Bitmap& screen) {
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const uint32_t r = 40 + x * 150 / kWidth;
      const uint32_t g = 60 + y * 140 / kHeight;
      const uint32_t b = 200 - (x + y) * 120 / (kWidth + kHeight);
      screen.Set(x, y, r << 16 | g << 8 | b);
    }
  }
}

// A window with a frame, a title bar and lines of "text", at an origin that
// falls on no coding cell.
void PaintWindow(Bitmap& screen, int left, int top) {
  recorder::FillRect(screen, {left, top, left + 110, top + 74}, 0x202020);
  recorder::FillRect(screen, {left + 1, top + 1, left + 109, top + 15}, 0x2050C0);
  recorder::FillRect(screen, {left + 1, top + 15, left + 109, top + 73}, 0xF0F0F0);
  for (int line = 0; line < 5; ++line) {
    recorder::FillRect(screen, {left + 6, top + 20 + line * 10, left + 60 + line * 8, top + 25 + line * 10},
                       0x303030);
  }
}

void PaintScene(Bitmap& screen, int k) {
  PaintDesktop(screen);
  PaintWindow(screen, 7 + 3 * k, 5 + 2 * k);
}

double Psnr(const Bitmap& a, const Bitmap& b) {
  double sum = 0;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      for (int shift = 0; shift < 24; shift += 8) {
        const double d = static_cast<double>(a.At(x, y) >> shift & 0xFF) - (b.At(x, y) >> shift & 0xFF);
        sum += d * d;
      }
    }
  }
  const double mse = sum / (3.0 * a.Width() * a.Height());
  return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// The picture as one fresh quality-90 JPEG, through the player's decoder.
double FreshJpegPsnr(const Bitmap& source) {
  Bitmap decoded;
  recorder::DecodeAsPlayer(recorder::EncodeJpeg(source), decoded);
  return Psnr(decoded, source);
}

enum class Packing {
  kAgainstShownScreen,
  kAgainstPreviousPicture,
  kVisibleChangesOnly,  // against the shown screen, as pack --video does
};

class Seams : public testing::ToolTest {
 protected:
  // Packs the scene, exports every frame and returns, per frame, how far its
  // PSNR falls short of a fresh JPEG of its source picture.
  std::vector<double> Shortfalls(Packing packing, std::vector<double>* psnr = nullptr) {
    Bitmap screen(kWidth, kHeight);
    PaintScene(screen, 0);
    recorder::RecordingBuilder builder(screen);
    builder.NoCursor().Interval(40);
    Bitmap previous;
    recorder::CopyPixels(screen, previous);
    recorder::ShownScreen visible(screen, recorder::EncodeJpeg(screen), recorder::ChangeRule::kVisible);
    for (int k = 1; k < kFrames; ++k) {
      PaintScene(screen, k);
      if (packing == Packing::kAgainstShownScreen) {
        builder.AddFrame(screen);
      } else if (packing == Packing::kVisibleChangesOnly) {
        builder.AddFrameBlocks(visible.EncodeNext(screen, 90));
      } else {
        builder.AddFrameBlocks(recorder::EncodeChangedBlocks(previous, screen));
        recorder::CopyPixels(screen, previous);
      }
    }
    const std::string file = Path("seams.exe");
    WriteBytes(file, recorder::MakeSelfPlaying(recorder::ZeroStub(), builder.Build()));

    ExportOptions options;
    options.path = file;
    options.framesFolder = Path("frames");
    options.progress = ProgressBar::Output::Never;
    EXPECT_EQ(Export(options).frames, kFrames);

    std::vector<double> shortfalls;
    for (int k = 0; k < kFrames; ++k) {
      char name[32];
      std::snprintf(name, sizeof name, "frames/frame_%05d.png", k);
      Bitmap shown;
      ReadPng(Path(name), shown);
      PaintScene(screen, k);
      const double exported = Psnr(shown, screen);
      if (psnr) psnr->push_back(exported);
      shortfalls.push_back(FreshJpegPsnr(screen) - exported);
    }
    return shortfalls;
  }
};

TEST_F(Seams, ADraggedWindowLeavesNoTrail) {
  std::vector<double> psnr;
  const std::vector<double> shortfalls = Shortfalls(Packing::kAgainstShownScreen, &psnr);
  double worstShortfall = 0;
  double worstDrop = 0;
  for (int k = 0; k < kFrames; ++k) {
    EXPECT_LE(shortfalls[k], 1.0) << "frame " << k;
    worstShortfall = std::max(worstShortfall, shortfalls[k]);
    if (k > 0) {
      EXPECT_LE(psnr[k - 1] - psnr[k], 0.5) << "frame " << k;
      worstDrop = std::max(worstDrop, psnr[k - 1] - psnr[k]);
    }
  }
  RecordProperty("worst_shortfall_db", std::to_string(worstShortfall));
  RecordProperty("worst_drop_db", std::to_string(worstDrop));
  std::printf("against the shown screen: frame 0 %.2f dB, frame %d %.2f dB; worst shortfall %.3f dB, "
              "worst drop %.3f dB\n",
              psnr.front(), kFrames - 1, psnr.back(), worstShortfall, worstDrop);
}

// Leaving out what no one can see keeps the same figures.
TEST_F(Seams, PackingOnlyVisibleChangesLeavesNoTrailEither) {
  std::vector<double> psnr;
  const std::vector<double> shortfalls = Shortfalls(Packing::kVisibleChangesOnly, &psnr);
  double worstShortfall = 0;
  double worstDrop = 0;
  for (int k = 0; k < kFrames; ++k) {
    EXPECT_LE(shortfalls[k], 1.0) << "frame " << k;
    worstShortfall = std::max(worstShortfall, shortfalls[k]);
    if (k > 0) {
      EXPECT_LE(psnr[k - 1] - psnr[k], 0.5) << "frame " << k;
      worstDrop = std::max(worstDrop, psnr[k - 1] - psnr[k]);
    }
  }
  std::printf("visible changes only: frame 0 %.2f dB, frame %d %.2f dB; worst shortfall %.3f dB, "
              "worst drop %.3f dB\n",
              psnr.front(), kFrames - 1, psnr.back(), worstShortfall, worstDrop);
}

// The scene is hard enough: packing against the previous picture, as before,
// lets the error build up past the limit.
TEST_F(Seams, PackingAgainstThePreviousPictureWouldLeaveATrail) {
  const std::vector<double> shortfalls = Shortfalls(Packing::kAgainstPreviousPicture);
  std::printf("against the previous picture: last frame short by %.3f dB\n", shortfalls.back());
  EXPECT_GT(shortfalls.back(), 1.0);
}

}  // namespace
}  // namespace sp::tool
