// The seek's plan: the planned parts of the blocks, drawn over the base
// frame, give every pixel that drawing every block gives.

#include "playback/block_plan.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace sp {
namespace {

// Which block (1 + its place among all blocks) each pixel shows; 0 for
// the base frame's.
using Owners = std::vector<int>;

void Fill(Owners& owners, int width, int height, const Rect& r, int id) {
  for (int y = std::max(r.top, 0); y < std::min(r.bottom, height); ++y) {
    for (int x = std::max(r.left, 0); x < std::min(r.right, width); ++x) owners[static_cast<size_t>(y) * width + x] = id;
  }
}

TEST(BlockPlanTest, PlannedPartsGiveEveryPixelThatAllBlocksGive) {
  std::mt19937 random(23);
  for (int round = 0; round < 300; ++round) {
    // Screens that are and are not whole cells wide and high.
    const int width = 20 + static_cast<int>(random() % 90);
    const int height = 15 + static_cast<int>(random() % 70);
    std::vector<IndexedFrame> frames(1 + random() % 12);
    std::vector<IndexedBlock> blocks;
    for (size_t k = 1; k < frames.size(); ++k) {
      frames[k].firstBlock = static_cast<uint32_t>(blocks.size());
      frames[k].blockCount = random() % 5;
      for (uint32_t b = 0; b < frames[k].blockCount; ++b) {
        const int left = static_cast<int>(random() % (width + 20)) - 10;
        const int top = static_cast<int>(random() % (height + 20)) - 10;
        int w = 1 + static_cast<int>(random() % width);
        int h = 1 + static_cast<int>(random() % height);
        if (random() % 6 == 0) w = h = 0;  // a picture whose header did not read
        if (random() % 8 == 0) {  // the whole screen
          blocks.push_back({{0, 0, width, height}, {}});
          continue;
        }
        blocks.push_back({{left, top, left + w, top + h}, {}});
      }
    }
    const int32_t last = static_cast<int32_t>(frames.size()) - 1;
    const int32_t base = last > 0 ? static_cast<int32_t>(random() % last) : 0;
    const BlockPlan plan = PlanBlocks(frames, blocks, base, last, width, height);
    ASSERT_EQ(plan.size(), static_cast<size_t>(last - base));

    Owners all(static_cast<size_t>(width) * height, 0);
    Owners planned = all;
    for (int32_t k = base + 1; k <= last; ++k) {
      const IndexedFrame& f = frames[k];
      for (uint32_t b = 0; b < f.blockCount; ++b) Fill(all, width, height, blocks[f.firstBlock + b].rect, 1 + static_cast<int>(f.firstBlock + b));
      int previous = -1;
      for (const PlannedBlock& p : plan[k - base - 1]) {
        ASSERT_GT(p.index, previous) << "in stored order, each once";
        ASSERT_LT(p.index, static_cast<int>(f.blockCount));
        previous = p.index;
        const Rect& r = blocks[f.firstBlock + p.index].rect;
        if (r.right <= r.left || r.bottom <= r.top) continue;  // planned so that its failure shows
        const Rect part{r.left + p.part.left, r.top + p.part.top, r.left + p.part.right, r.top + p.part.bottom};
        ASSERT_EQ(part.Intersect(r), part) << "a part lies inside its picture";
        Fill(planned, width, height, part, 1 + static_cast<int>(f.firstBlock + p.index));
      }
      // Blocks whose header did not read are always planned.
      for (uint32_t b = 0; b < f.blockCount; ++b) {
        const Rect& r = blocks[f.firstBlock + b].rect;
        if (r.right > r.left && r.bottom > r.top) continue;
        bool found = false;
        for (const PlannedBlock& p : plan[k - base - 1]) found |= p.index == static_cast<int>(b);
        EXPECT_TRUE(found) << "frame " << k << " block " << b;
      }
    }
    for (size_t i = 0; i < all.size(); ++i) {
      ASSERT_EQ(planned[i], all[i]) << "round " << round << ", pixel (" << i % width << ", " << i / width
                                    << ") of " << width << " x " << height;
    }
  }
}

}  // namespace
}  // namespace sp
