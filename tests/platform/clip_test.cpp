#include "platform/clip.h"

#include <gtest/gtest.h>

#include <climits>

namespace sp {
namespace {

const Rect kBounds{0, 0, 100, 50};

TEST(ClipBlit, OneToOneClipsAtEveryEdge) {
  const Rect src{0, 0, 10, 10};
  BlitMap m = ClipBlit(Box::At(-3, 45, 10, 10), kBounds, Box::Of(src), src);
  EXPECT_EQ(m.dest, (Rect{0, 45, 7, 50}));
  EXPECT_EQ(m.sourceX.front(), 3);
  EXPECT_EQ(m.sourceX.back(), 9);
  EXPECT_EQ(m.sourceY, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_TRUE(m.contiguousX);
}

TEST(ClipBlit, FarOffAndExtremeCoordinatesNeitherOverflowNorShow) {
  const Rect src{0, 0, 10, 10};
  for (int x : {INT_MIN, INT_MIN + 5, INT_MAX - 5, INT_MAX}) {
    EXPECT_TRUE(ClipBlit(Box::At(x, 0, 10, 10), kBounds, Box::Of(src), src).IsEmpty()) << x;
    EXPECT_TRUE(ClipBlit(Box::At(0, x, 10, 10), kBounds, Box::Of(src), src).IsEmpty()) << x;
  }
  // A destination spanning the whole int range still maps its visible part.
  BlitMap m = ClipBlit(Box::Of({INT_MIN, INT_MIN, INT_MAX, INT_MAX}), kBounds, Box::Of(src), src);
  EXPECT_EQ(m.dest, kBounds);
  EXPECT_EQ(m.sourceX.front(), 5);  // floor(2^31 * 10 / (2^32 - 1))
  // A source spanning the whole range onto a small target stays inside the source.
  BlitMap n = ClipBlit(Box::At(0, 0, 4, 4), kBounds, Box::Of({INT_MIN, INT_MIN, INT_MAX, INT_MAX}),
                       {0, 0, 10, 10});
  EXPECT_TRUE(n.IsEmpty());
}

TEST(ClipBlit, StretchMapsByFloorOfTheScaledIndex) {
  const Rect src{0, 0, 6, 3};
  BlitMap shrink = ClipBlit(Box::At(0, 0, 3, 3), kBounds, Box::Of(src), src);
  EXPECT_EQ(shrink.sourceX, (std::vector<int>{0, 2, 4}));
  EXPECT_FALSE(shrink.contiguousX);

  BlitMap grow = ClipBlit(Box::At(-1, 0, 12, 3), kBounds, Box::Of(src), src);
  EXPECT_EQ(grow.dest.left, 0);
  EXPECT_EQ(grow.sourceX, (std::vector<int>{0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5}));
}

TEST(ClipBlit, DropsDestinationPixelsWhoseSourceIsOutside) {
  // Source rectangle hangs 2 pixels off the left and 3 off the bottom.
  BlitMap m = ClipBlit(Box::At(10, 10, 8, 8), kBounds, Box::Of({-2, 5, 6, 13}), {0, 0, 20, 10});
  EXPECT_EQ(m.dest, (Rect{12, 10, 18, 15}));
  EXPECT_EQ(m.sourceX.front(), 0);
  EXPECT_EQ(m.sourceY.back(), 9);
}

TEST(ClipBlit, NonPositiveExtentsDrawNothing) {
  const Rect src{0, 0, 4, 4};
  EXPECT_TRUE(ClipBlit(Box::At(0, 0, 0, 4), kBounds, Box::Of(src), src).IsEmpty());
  EXPECT_TRUE(ClipBlit(Box::Of({5, 5, 2, 9}), kBounds, Box::Of(src), src).IsEmpty());
  EXPECT_TRUE(ClipBlit(Box::At(0, 0, 4, 4), kBounds, Box::Of({0, 0, 0, 4}), src).IsEmpty());
}

TEST(ClipBox, ClipsWithoutOverflow) {
  EXPECT_EQ(ClipBox(Box::Of({INT_MIN, -3, INT_MAX, 4}), kBounds), (Rect{0, 0, 100, 4}));
  EXPECT_TRUE(ClipBox(Box::At(INT_MAX, 0, INT_MAX, 5), kBounds).IsEmpty());
}

}  // namespace
}  // namespace sp
