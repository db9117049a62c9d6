#pragma once

#include <vector>

#include "platform/bitmap.h"
#include "platform/geometry.h"
#include "recorder/payload_writer.h"

namespace sp::recorder {

// What counts as a change of a place on the screen.
enum class ChangeRule {
  kExact,    // any pixel that differs at all
  // Only what someone could see: a lossy video's frames of a frozen screen
  // differ by the codec's noise (up to some 30 levels of brightness at sharp
  // edges, a few on average), which is not sent again and again.
  kVisible,
};

// Under kVisible an area changed when one pixel's brightness moved by more
// than kVisibleLumaStep, one channel by more than kVisibleChannelStep (a new
// colour of the same brightness), or the area's brightness by more than
// kVisibleMeanStep on average (a faint change over all of it).
inline constexpr int kVisibleLumaStep = 32;
inline constexpr int kVisibleChannelStep = 64;
inline constexpr double kVisibleMeanStep = 4.0;

// Whether `area` (inside both pictures, which are of one size) differs
// between a and b under the rule.
bool AreaChanged(const Bitmap& a, const Bitmap& b, const Rect& area, ChangeRule rule);

// The rectangles in which next differs from previous, as the recorder finds
// them: runs of changed rows grouped into bands that do not overlap, each
// trimmed left and right to its changed columns, listed top to bottom.
std::vector<Rect> FindChangedBands(const Bitmap& previous, const Bitmap& next);

// next's changed bands as encoded blocks.
std::vector<Block> EncodeChangedBlocks(const Bitmap& previous, const Bitmap& next, int quality = 90);

}  // namespace sp::recorder
