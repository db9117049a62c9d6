// The packer repairs colour that smooth chroma upsampling bled into a cell
// from a neighbour that has since changed, whichever side that neighbour
// lies on: otherwise a window dragged across the screen leaves a faint line
// of its old colour along each edge it leaves.
#include <gtest/gtest.h>

#include "recorder/images.h"
#include "recorder/shown_screen.h"
#include "recorder/test_media.h"

namespace sp::recorder {
namespace {

constexpr Pixel kRed = 0xFF0000;
constexpr Pixel kBlue = 0x0000FF;

// Two cells wide, three high. Blue in the cell row `blueRow`, red elsewhere;
// the blue row then turns red. Only its cells changed, but the red row on
// its far side has shown blue bled into its nearest pixel row since the key
// frame (a quarter of a chroma sample: tens of levels of red and blue).
std::vector<Rect> BandsAfterBlueRowTurnsRed(int blueRow) {
  Bitmap before(2 * kCodingUnit, 3 * kCodingUnit);
  FillRect(before, before.Bounds(), kRed);
  FillRect(before, {0, blueRow * kCodingUnit, 2 * kCodingUnit, (blueRow + 1) * kCodingUnit}, kBlue);
  ShownScreen screen(before, EncodeJpeg(before));
  Bitmap after(2 * kCodingUnit, 3 * kCodingUnit);
  FillRect(after, after.Bounds(), kRed);
  return screen.BandsToSend(after, 90);
}

TEST(StaleBleed, TheCellBelowAChangedCellIsSentAgain) {
  const std::vector<Rect> bands = BandsAfterBlueRowTurnsRed(0);
  // The blue row, and the red row below it that showed its bleed; the
  // bottom row never touched blue and stays.
  EXPECT_EQ(bands, (std::vector<Rect>{{0, 0, 2 * kCodingUnit, 2 * kCodingUnit}}));
}

TEST(StaleBleed, TheCellAboveAChangedCellIsSentAgain) {
  const std::vector<Rect> bands = BandsAfterBlueRowTurnsRed(2);
  EXPECT_EQ(bands, (std::vector<Rect>{{0, kCodingUnit, 2 * kCodingUnit, 3 * kCodingUnit}}));
}

}  // namespace
}  // namespace sp::recorder
