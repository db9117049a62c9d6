#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/geometry.h"
#include "playback/recording_index.h"

namespace sp {

// A block a seek decodes, and the part of its picture that stays visible.
struct PlannedBlock {
  int index;  // in its frame record
  Rect part;  // in the picture's own pixels
};

// Per frame base + 1 .. frame, the blocks to decode, in stored order.
using BlockPlan = std::vector<std::vector<PlannedBlock>>;

// Which parts of which blocks must be decoded to compose `frame` from the
// bitmap of frame `base` on a screen of width x height: walking back from
// the last block drawn, a block is left out where blocks drawn after it
// cover it (judged on a grid of kPlanCell-pixel cells), and of the rest
// only the cells still uncovered are decoded. A block whose picture header
// did not read is planned whole, so that its failure shows.
BlockPlan PlanBlocks(std::span<const IndexedFrame> frames, std::span<const IndexedBlock> blocks,
                     int32_t base, int32_t frame, int width, int height);

inline constexpr int kPlanCell = 16;

}  // namespace sp
