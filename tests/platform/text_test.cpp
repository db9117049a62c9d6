#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>

namespace sp {
namespace {

TEST(DecodeGbkField, DecodesUpToTheFirstZero) {
  const char field[40] = "\xC8\xAB\xC6\xC1\xC4\xBB\0\xB0\xA1garbage";
  EXPECT_EQ(DecodeGbkField(field, sizeof field), "全屏幕");
  // E5 68 is a two-byte character whose second byte is ASCII 'h'.
  const char other[6] = "\xE5\x68\xC4\xBB";
  EXPECT_EQ(DecodeGbkField(other, sizeof other), "録幕");
  const char empty[4] = {};
  EXPECT_EQ(DecodeGbkField(empty, sizeof empty), "");
}

TEST(DecodeGbkField, FieldWithoutZeroIsUsedWhole) {
  std::string field(40, 'A');
  field[38] = '\xB0';  // 啊, the field's last two bytes
  field[39] = '\xA1';
  std::string text = DecodeGbkField(field.data(), field.size());
  EXPECT_EQ(text, std::string(38, 'A') + "啊");
}

TEST(GbkToUtf8, InvalidBytesBecomeReplacementAndDecodingGoesOn) {
  EXPECT_EQ(GbkToUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
  // A lead byte followed by a digit, which no GBK character has as its
  // second byte: only the lead byte is lost.
  EXPECT_EQ(GbkToUtf8("\x81" "0\xC4\xBB"), "\xEF\xBF\xBD" "0幕");
  // A lead byte cut off by the end.
  EXPECT_EQ(GbkToUtf8("x\xC4"), "x\xEF\xBF\xBD");
}

TEST(Utf8ToGbk, ConvertsAndReplacesWhatGbkLacks) {
  EXPECT_EQ(Utf8ToGbk("全屏幕"), "\xC8\xAB\xC6\xC1\xC4\xBB");
  EXPECT_EQ(Utf8ToGbk("a😀b"), "a?b");
  EXPECT_EQ(Utf8ToGbk("a\xFF" "b"), "a?b");
  EXPECT_EQ(GbkToUtf8(Utf8ToGbk("循环播放")), "循环播放");
}

}  // namespace
}  // namespace sp
