#include "recorder/change_detection.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "recorder/images.h"

namespace sp::recorder {

namespace {

// Brightness in eighths of a level, from BT.601 weights in integers.
int Luma8(Pixel p) {
  return (static_cast<int>(p >> 16 & 0xFF) * 2449 + static_cast<int>(p >> 8 & 0xFF) * 4809 +
          static_cast<int>(p & 0xFF) * 934) >> 10;
}

bool VisiblyChanged(const Bitmap& a, const Bitmap& b, const Rect& area) {
  int64_t lumaSum = 0;
  for (int y = area.top; y < area.bottom; ++y) {
    const Pixel* ra = a.Row(y);
    const Pixel* rb = b.Row(y);
    for (int x = area.left; x < area.right; ++x) {
      if (ra[x] == rb[x]) continue;
      const int luma = std::abs(Luma8(ra[x]) - Luma8(rb[x]));
      if (luma > kVisibleLumaStep * 8) return true;
      lumaSum += luma;
      for (int shift = 0; shift < 24; shift += 8) {
        const int step = std::abs(static_cast<int>(ra[x] >> shift & 0xFF) - static_cast<int>(rb[x] >> shift & 0xFF));
        if (step > kVisibleChannelStep) return true;
      }
    }
  }
  const int64_t pixels = int64_t(area.Width()) * area.Height();
  return static_cast<double>(lumaSum) > kVisibleMeanStep * 8 * static_cast<double>(pixels);
}

}  // namespace

bool AreaChanged(const Bitmap& a, const Bitmap& b, const Rect& area, ChangeRule rule) {
  if (rule == ChangeRule::kVisible) return VisiblyChanged(a, b, area);
  for (int y = area.top; y < area.bottom; ++y) {
    if (!std::equal(a.Row(y) + area.left, a.Row(y) + area.right, b.Row(y) + area.left)) return true;
  }
  return false;
}

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
