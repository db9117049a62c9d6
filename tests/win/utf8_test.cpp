#include "platform/utf8.h"

#include <gtest/gtest.h>

namespace sp {
namespace {

TEST(Utf16, RoundTripsEveryPlane) {
  const std::string text = "a\xC3\xA9全😀";
  const std::u16string wide = Utf8ToUtf16(text);
  EXPECT_EQ(wide, (std::u16string{u'a', u'\u00E9', u'\u5168', 0xD83D, 0xDE00}));
  EXPECT_EQ(Utf16ToUtf8(wide), text);
}

TEST(Utf16, IllFormedInputBecomesReplacementCharacters) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), (std::u16string{u'a', 0xFFFD, u'b'}));
  EXPECT_EQ(Utf8ToUtf16("\xE5\x85"), (std::u16string{0xFFFD}));  // cut off
  // An unpaired surrogate, which a Windows file name may hold.
  EXPECT_EQ(Utf16ToUtf8(std::u16string{u'x', 0xD800, u'y'}), "x\xEF\xBF\xBDy");
}

}  // namespace
}  // namespace sp
