#include "tools/text_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace sp::tool {
namespace {

TEST(Thousands, GroupsDigitsInThrees) {
  EXPECT_EQ(Thousands(0), "0");
  EXPECT_EQ(Thousands(999), "999");
  EXPECT_EQ(Thousands(1000), "1,000");
  EXPECT_EQ(Thousands(1234567), "1,234,567");
  EXPECT_EQ(Thousands(-9312), "-9,312");
  EXPECT_EQ(Thousands(std::numeric_limits<int64_t>::min()), "-9,223,372,036,854,775,808");
}

}  // namespace
}  // namespace sp::tool
