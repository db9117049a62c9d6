#include "platform/clip.h"

#include <algorithm>

namespace sp {

namespace {

// One axis of ClipBlit: the visible destination span [begin, end) and the
// source coordinate of each of its pixels.
struct AxisMap {
  int begin = 0;
  int end = 0;
  std::vector<int> source;
};

AxisMap MapAxis(int64_t destStart, int64_t destLength, int boundBegin, int boundEnd,
                int64_t sourceStart, int64_t sourceLength, int sourceBegin, int sourceEnd) {
  AxisMap axis;
  if (destLength <= 0 || sourceLength <= 0) return axis;
  int64_t begin = std::max<int64_t>(destStart, boundBegin);
  int64_t end = std::min<int64_t>(destStart + destLength, boundEnd);
  if (begin >= end) return axis;

  // i < destLength < 2^33 and sourceLength < 2^33 could overflow a signed
  // product; unsigned 128-bit arithmetic cannot.
  auto sourceAt = [&](int64_t d) {
    auto i = static_cast<unsigned __int128>(d - destStart);
    auto step = static_cast<int64_t>(i * static_cast<uint64_t>(sourceLength) /
                                     static_cast<uint64_t>(destLength));
    return sourceStart + step;
  };
  // The mapping never decreases, so the destination pixels with a source
  // inside [sourceBegin, sourceEnd) form one run.
  while (begin < end && sourceAt(begin) < sourceBegin) ++begin;
  while (begin < end && sourceAt(end - 1) >= sourceEnd) --end;
  if (begin >= end) return axis;

  axis.begin = static_cast<int>(begin);
  axis.end = static_cast<int>(end);
  axis.source.reserve(static_cast<size_t>(end - begin));
  for (int64_t d = begin; d < end; ++d) axis.source.push_back(static_cast<int>(sourceAt(d)));
  return axis;
}

}  // namespace

BlitMap ClipBlit(const Box& dest, const Rect& destBounds, const Box& source,
                 const Rect& sourceBounds) {
  BlitMap map;
  AxisMap x = MapAxis(dest.left, dest.width, destBounds.left, destBounds.right, source.left,
                      source.width, sourceBounds.left, sourceBounds.right);
  if (x.begin >= x.end) return map;
  AxisMap y = MapAxis(dest.top, dest.height, destBounds.top, destBounds.bottom, source.top,
                      source.height, sourceBounds.top, sourceBounds.bottom);
  if (y.begin >= y.end) return map;

  map.dest = {x.begin, y.begin, x.end, y.end};
  map.contiguousX = x.source.back() - x.source.front() == x.end - x.begin - 1;
  map.sourceX = std::move(x.source);
  map.sourceY = std::move(y.source);
  return map;
}

Rect ClipBox(const Box& box, const Rect& bounds) {
  if (box.width <= 0 || box.height <= 0) return {};
  int64_t left = std::max<int64_t>(box.left, bounds.left);
  int64_t top = std::max<int64_t>(box.top, bounds.top);
  int64_t right = std::min<int64_t>(box.left + box.width, bounds.right);
  int64_t bottom = std::min<int64_t>(box.top + box.height, bounds.bottom);
  if (left >= right || top >= bottom) return {};
  return {static_cast<int>(left), static_cast<int>(top), static_cast<int>(right),
          static_cast<int>(bottom)};
}

}  // namespace sp
