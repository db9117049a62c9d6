#include "recorder/change_detection.h"

#include <algorithm>
#include <stdexcept>

#include "recorder/images.h"

namespace sp::recorder {

std::vector<Rect> FindChangedBands(const Bitmap& previous, const Bitmap& next) {
  if (previous.Width() != next.Width() || previous.Height() != next.Height()) {
    throw std::invalid_argument("FindChangedBands: the pictures differ in size");
  }
  const int width = next.Width();
  std::vector<Rect> bands;
  Rect band;  // the band being grown; empty while unchanged rows are passed
  for (int y = 0; y < next.Height(); ++y) {
    const Pixel* a = previous.Row(y);
    const Pixel* b = next.Row(y);
    int left = 0;
    while (left < width && a[left] == b[left]) ++left;
    if (left == width) {
      if (!band.IsEmpty()) bands.push_back(band);
      band = {};
      continue;
    }
    int right = width;
    while (a[right - 1] == b[right - 1]) --right;
    if (band.IsEmpty()) {
      band = {left, y, right, y + 1};
    } else {
      band.left = std::min(band.left, left);
      band.right = std::max(band.right, right);
      band.bottom = y + 1;
    }
  }
  if (!band.IsEmpty()) bands.push_back(band);
  return bands;
}

std::vector<Block> EncodeChangedBlocks(const Bitmap& previous, const Bitmap& next, int quality) {
  std::vector<Block> blocks;
  for (const Rect& band : FindChangedBands(previous, next)) {
    blocks.push_back({band, EncodeJpeg(next, band, quality), std::nullopt, std::nullopt});
  }
  return blocks;
}

}  // namespace sp::recorder
