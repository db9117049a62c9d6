#pragma once

namespace sp {

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  int width = 0;
  int height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

// Left, top, right, bottom; right and bottom are exclusive.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }

  Rect Intersect(const Rect& other) const;
  // The smallest rectangle holding both; an empty side is ignored.
  Rect Union(const Rect& other) const;

  friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace sp
