#include "platform/errors.h"

#include <gtest/gtest.h>

namespace sp {
namespace {

TEST(ApplicationTitle, FileNameCutAtFirstDotWithLaterLettersLowered) {
  EXPECT_EQ(ApplicationTitle("/x/LESSON1.EXE"), "Lesson1");
  EXPECT_EQ(ApplicationTitle("C:\\X\\LESSON1.EXE"), "Lesson1");
  EXPECT_EQ(ApplicationTitle("my.DEMO.exe"), "my");
  EXPECT_EQ(ApplicationTitle("/a/b/NoExt"), "Noext");
}

TEST(Errors, CarryTheTextsShownToTheUser) {
  EXPECT_STREQ(JpegError(42).what(), "JPEG error #42");
  EXPECT_STREQ(InvalidIconError().what(), "Icon image is not valid");
  EXPECT_STREQ(DivisionByZeroError().what(), "Division by zero");
}

}  // namespace
}  // namespace sp
