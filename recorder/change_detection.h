#pragma once

#include <vector>

#include "platform/bitmap.h"
#include "platform/geometry.h"
#include "recorder/payload_writer.h"

namespace sp::recorder {

// The rectangles in which next differs from previous, as the recorder finds
// them: runs of changed rows grouped into bands that do not overlap, each
// trimmed left and right to its changed columns, listed top to bottom.
std::vector<Rect> FindChangedBands(const Bitmap& previous, const Bitmap& next);

// next's changed bands as encoded blocks.
std::vector<Block> EncodeChangedBlocks(const Bitmap& previous, const Bitmap& next, int quality = 90);

}  // namespace sp::recorder
