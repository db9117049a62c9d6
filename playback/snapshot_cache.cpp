#include "playback/snapshot_cache.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace sp {

namespace {

int64_t BytesOf(const Bitmap& bitmap) { return int64_t{bitmap.Width()} * bitmap.Height() * 4; }

}  // namespace

void CopyPixels(const Bitmap& from, Bitmap& to) {
  if (to.Width() != from.Width() || to.Height() != from.Height()) {
    to.SetSize(from.Width(), from.Height());
  }
  if (!from.IsEmpty()) {
    std::memcpy(to.Data(), from.Data(),
                static_cast<size_t>(from.Width()) * static_cast<size_t>(from.Height()) * sizeof(Pixel));
  }
}

bool SamePixels(const Bitmap& a, const Bitmap& b) {
  return a.Width() == b.Width() && a.Height() == b.Height() &&
         (a.IsEmpty() || std::memcmp(a.Data(), b.Data(),
                                     static_cast<size_t>(a.Width()) * static_cast<size_t>(a.Height()) *
                                         sizeof(Pixel)) == 0);
}

void SnapshotCache::Plan(int32_t frames, int32_t frameInterval, int64_t frameBytes) {
  frameBytes = std::max<int64_t>(1, frameBytes);
  const int64_t bySeconds = std::max<int64_t>(1, budget_.milliseconds / std::max(1, frameInterval));
  const int64_t held = std::max<int64_t>(1, budget_.bytes / frameBytes);
  const int64_t byBudget = (frames + held - 1) / held;
  spacing_ = static_cast<int32_t>(std::min<int64_t>(INT32_MAX, std::max(bySeconds, byBudget)));
}

void SnapshotCache::Keep(int32_t frame, const Bitmap& bitmap) {
  if (frame % spacing_ != 0 || snapshots_.count(frame)) return;
  if (frame != 0 && bytes_ + BytesOf(bitmap) > budget_.bytes) return;
  auto copy = std::make_unique<Bitmap>();
  CopyPixels(bitmap, *copy);
  bytes_ += BytesOf(*copy);
  snapshots_[frame] = std::move(copy);
}

std::pair<int32_t, const Bitmap*> SnapshotCache::AtOrBefore(int32_t frame) const {
  const auto at = std::prev(snapshots_.upper_bound(frame));
  return {at->first, at->second.get()};
}

std::optional<int32_t> SnapshotCache::NextMissing(int32_t frames, int64_t frameBytes) const {
  for (int64_t k = spacing_; k < frames; k += spacing_) {
    if (snapshots_.count(static_cast<int32_t>(k))) continue;
    if (bytes_ + frameBytes > budget_.bytes) return std::nullopt;
    return static_cast<int32_t>(k);
  }
  return std::nullopt;
}

void SnapshotCache::DropFrom(int32_t frame) {
  for (auto it = snapshots_.lower_bound(std::max(frame, 1)); it != snapshots_.end();) {
    bytes_ -= BytesOf(*it->second);
    it = snapshots_.erase(it);
  }
}

}  // namespace sp
