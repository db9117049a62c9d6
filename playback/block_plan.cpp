#include "playback/block_plan.h"

#include <algorithm>
#include <limits>

#include "platform/jpeg_image.h"

namespace sp {

BlockPlan PlanBlocks(std::span<const IndexedFrame> frames, std::span<const IndexedBlock> blocks,
                     int32_t base, int32_t frame, int width, int height) {
  constexpr int kCell = kPlanCell;
  const int columns = (width + kCell - 1) / kCell;
  const int rows = (height + kCell - 1) / kCell;
  std::vector<uint8_t> covered(static_cast<size_t>(columns) * rows, 0);
  int64_t left = int64_t{columns} * rows;
  BlockPlan plan(static_cast<size_t>(frame - base));
  // Once every cell is covered only pictures whose header did not read are
  // still looked for: covered or not, the stub stops at them.
  for (int32_t k = frame; k > base; --k) {
    const IndexedFrame& f = frames[k];
    for (int b = static_cast<int>(f.blockCount) - 1; b >= 0; --b) {
      const Rect& stored = blocks[f.firstBlock + b].rect;
      if (left == 0 && stored.right > stored.left && stored.bottom > stored.top) continue;
      const Rect r{std::max(stored.left, 0), std::max(stored.top, 0), std::min(stored.right, width),
                   std::min(stored.bottom, height)};
      if (stored.right <= stored.left || stored.bottom <= stored.top) {
        // A picture whose header did not read: decoded, so that its
        // failure ends the recording as it would in the stub.
        plan[k - base - 1].push_back({b, {0, 0, kMaxImageSide, kMaxImageSide}});
        continue;
      }
      if (r.right <= r.left || r.bottom <= r.top) continue;  // wholly outside the frame
      // The cells with something still uncovered, and around them the part
      // of the picture to decode: the rest is drawn over later.
      Rect cells{std::numeric_limits<int>::max(), std::numeric_limits<int>::max(), -1, -1};
      for (int cy = r.top / kCell; cy <= (r.bottom - 1) / kCell; ++cy) {
        for (int cx = r.left / kCell; cx <= (r.right - 1) / kCell; ++cx) {
          if (covered[static_cast<size_t>(cy) * columns + cx]) continue;
          cells = {std::min(cells.left, cx), std::min(cells.top, cy), std::max(cells.right, cx + 1),
                   std::max(cells.bottom, cy + 1)};
        }
      }
      if (cells.right < 0) continue;
      const Rect visible =
          r.Intersect({cells.left * kCell, cells.top * kCell, cells.right * kCell, cells.bottom * kCell});
      plan[k - base - 1].push_back({b, {visible.left - stored.left, visible.top - stored.top,
                                        visible.right - stored.left, visible.bottom - stored.top}});
      // Only cells the block covers whole (or to the screen's edge) count
      // as covered for the blocks before it.
      for (int cy = (r.top + kCell - 1) / kCell; cy * kCell < r.bottom; ++cy) {
        if (std::min((cy + 1) * kCell, height) > r.bottom) break;
        for (int cx = (r.left + kCell - 1) / kCell; cx * kCell < r.right; ++cx) {
          if (std::min((cx + 1) * kCell, width) > r.right) break;
          uint8_t& cell = covered[static_cast<size_t>(cy) * columns + cx];
          if (!cell) {
            cell = 1;
            --left;
          }
        }
      }
    }
  }
  for (std::vector<PlannedBlock>& planned : plan) std::reverse(planned.begin(), planned.end());
  return plan;
}

}  // namespace sp
