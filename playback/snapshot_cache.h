#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>

#include "platform/bitmap.h"

namespace sp {

// Full frame bitmaps kept every few frames, so that any frame is composed
// from the nearest one before it. The spacing is the larger of a time
// (snapshots at most that far apart) and what the memory budget allows
// for the frames there are; frame 0 is always held.
class SnapshotCache {
 public:
  struct Budget {
    int64_t bytes = int64_t{160} << 20;
    int32_t milliseconds = 5000;
  };

  explicit SnapshotCache(const Budget& budget) : budget_(budget) {}

  // Sets the spacing for `frames` frames `frameInterval` ms apart, of
  // `frameBytes` bytes each.
  void Plan(int32_t frames, int32_t frameInterval, int64_t frameBytes);
  int32_t Spacing() const { return spacing_; }

  // Keeps a copy of `bitmap` as frame `frame`, when the frame is on the
  // spacing, not yet held and the budget allows it.
  void Keep(int32_t frame, const Bitmap& bitmap);
  // The nearest snapshot at or before `frame` (frame 0's is always there).
  std::pair<int32_t, const Bitmap*> AtOrBefore(int32_t frame) const;
  // The first frame on the spacing below `frames` not yet held, when the
  // budget allows another of `frameBytes`.
  std::optional<int32_t> NextMissing(int32_t frames, int64_t frameBytes) const;
  // Forgets the snapshots of `frame` and later.
  void DropFrom(int32_t frame);

  size_t Count() const { return snapshots_.size(); }
  int64_t Bytes() const { return bytes_; }

 private:
  Budget budget_;
  int32_t spacing_ = 1;
  std::map<int32_t, std::unique_ptr<Bitmap>> snapshots_;
  int64_t bytes_ = 0;
};

// Copies the pixels of `from` into `to`, sizing `to` alike.
void CopyPixels(const Bitmap& from, Bitmap& to);
// Whether two bitmaps have the same size and pixels.
bool SamePixels(const Bitmap& a, const Bitmap& b);

}  // namespace sp
