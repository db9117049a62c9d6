#pragma once

#include <cstdint>
#include <vector>

#include "platform/geometry.h"

namespace sp {

// A rectangle by its top-left corner and extent in 64 bits, so that a
// corner near INT_MAX plus a width, or a Rect spanning INT_MIN..INT_MAX,
// never overflows.
struct Box {
  int64_t left = 0;
  int64_t top = 0;
  int64_t width = 0;
  int64_t height = 0;

  static Box Of(const Rect& r) {
    return {r.left, r.top, int64_t{r.right} - r.left, int64_t{r.bottom} - r.top};
  }
  static Box At(int x, int y, int width, int height) { return {x, y, width, height}; }
};

// The visible part of a blit. Every drawn destination pixel (x, y) of dest
// takes the source pixel (sourceX[x - dest.left], sourceY[y - dest.top]);
// both lie inside the source bounds.
struct BlitMap {
  Rect dest;
  std::vector<int> sourceX;
  std::vector<int> sourceY;
  // sourceX runs in steps of one, so a row is one contiguous copy.
  bool contiguousX = false;

  bool IsEmpty() const { return dest.IsEmpty(); }
};

// Maps dest onto source by nearest pixel: destination column dest.left + i
// takes source column source.left + floor(i * source.width / dest.width),
// rows alike; equal extents give a 1:1 copy. The result holds only the
// destination pixels inside destBounds whose source pixel lies inside
// sourceBounds. A non-positive extent draws nothing.
BlitMap ClipBlit(const Box& dest, const Rect& destBounds, const Box& source,
                 const Rect& sourceBounds);

// The part of box inside bounds; empty when they do not meet.
Rect ClipBox(const Box& box, const Rect& bounds);

}  // namespace sp
