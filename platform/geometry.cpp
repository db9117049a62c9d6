#include "platform/geometry.h"

#include <algorithm>

namespace sp {

Rect Rect::Intersect(const Rect& other) const {
  Rect r{std::max(left, other.left), std::max(top, other.top), std::min(right, other.right),
         std::min(bottom, other.bottom)};
  if (r.IsEmpty()) return {};
  return r;
}

Rect Rect::Union(const Rect& other) const {
  if (other.IsEmpty()) return *this;
  if (IsEmpty()) return other;
  return {std::min(left, other.left), std::min(top, other.top), std::max(right, other.right),
          std::max(bottom, other.bottom)};
}

}  // namespace sp
