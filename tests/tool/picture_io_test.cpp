#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <filesystem>

#include "recorder/images.h"
#include "recorder/test_media.h"
#include "tests/tool/tool_fixture.h"
#include "tools/command_line.h"
#include "tools/picture_folder.h"
#include "tools/png_io.h"

namespace sp::tool {
namespace {

using PictureFiles = testing::ToolTest;

TEST_F(PictureFiles, APngWithAlphaIsComposedOntoWhite) {
  // Opaque red, half-transparent black, fully transparent blue.
  const uint8_t rgba[] = {255, 0, 0, 255, 0, 0, 0, 128, 0, 0, 255, 0};
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = 3;
  image.height = 1;
  image.format = PNG_FORMAT_RGBA;
  ASSERT_TRUE(png_image_write_to_file(&image, Path("a.png").c_str(), 0, rgba, 0, nullptr));
  Bitmap bitmap;
  ReadPng(Path("a.png"), bitmap);
  ASSERT_EQ(bitmap.Width(), 3);
  EXPECT_EQ(bitmap.At(0, 0), 0xFF0000u);
  EXPECT_EQ(bitmap.At(1, 0), 0x7F7F7Fu);
  EXPECT_EQ(bitmap.At(2, 0), 0xFFFFFFu);
}

TEST_F(PictureFiles, PngWritesAndReadsBackEveryPixel) {
  Bitmap picture(37, 21);
  recorder::FillTestPattern(picture, 8);
  WritePng(Path("p.png"), picture);
  Bitmap back;
  ReadPng(Path("p.png"), back);
  EXPECT_EQ(testing::Compare(picture, back).max, 0);
}

TEST_F(PictureFiles, AFolderListsItsPngAndJpegFilesInNameOrder) {
  std::filesystem::create_directory(Path("in"));
  Bitmap picture(32, 16);
  recorder::FillTestPattern(picture, 2);
  WritePng(Path("in/b.PNG"), picture);
  WriteBytes(Path("in/a.jpg"), recorder::EncodeJpeg(picture));
  WriteBytes(Path("in/c.txt"), {1, 2, 3});
  WriteBytes(Path("in/d.jpeg"), {'n', 'o', 'p', 'e'});
  const std::vector<std::string> files = ListPictures(Path("in"));
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(std::filesystem::path(files[0]).filename(), "a.jpg");
  EXPECT_EQ(std::filesystem::path(files[1]).filename(), "b.PNG");

  Bitmap jpeg;
  LoadPicture(files[0], jpeg);
  EXPECT_EQ(jpeg.Width(), 32);
  EXPECT_LE(testing::Compare(picture, jpeg).mean, testing::kJpegMeanError);
  Bitmap png;
  LoadPicture(files[1], png);
  EXPECT_EQ(testing::Compare(picture, png).max, 0);
  EXPECT_THROW(LoadPicture(files[2], png), ToolError);

  std::filesystem::create_directory(Path("empty"));
  EXPECT_THROW(ListPictures(Path("empty")), ToolError);
  EXPECT_THROW(ListPictures(Path("absent")), ToolError);
}

}  // namespace
}  // namespace sp::tool
