#include "platform/stream.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "platform/errors.h"

namespace sp {
namespace {

MemoryStream Holding(std::initializer_list<uint8_t> bytes) {
  MemoryStream s;
  std::vector<uint8_t> v(bytes);
  s.Write(v.data(), v.size());
  s.Seek(0, SeekOrigin::Begin);
  return s;
}

TEST(MemoryStream, ReadsWritesAndSeeksLikeAFile) {
  MemoryStream s = Holding({1, 2, 3, 4, 5});
  uint8_t buf[8] = {};
  EXPECT_EQ(s.Read(buf, 3), 3u);
  EXPECT_EQ(s.Remaining(), 2);
  EXPECT_EQ(s.Read(buf, 8), 2u);  // short at the end, no error
  EXPECT_EQ(buf[1], 5);
  EXPECT_EQ(s.Read(buf, 8), 0u);

  EXPECT_EQ(s.Seek(10, SeekOrigin::Begin), 10);  // beyond the end is allowed
  EXPECT_EQ(s.Read(buf, 1), 0u);
  EXPECT_EQ(s.Remaining(), 0);
  uint8_t nine = 9;
  s.Write(&nine, 1);  // the gap is zero-filled
  EXPECT_EQ(s.Size(), 11);
  EXPECT_EQ(s.Data()[7], 0);
  EXPECT_EQ(s.Data()[10], 9);

  EXPECT_EQ(s.Seek(-2, SeekOrigin::End), 9);
  EXPECT_EQ(s.Seek(-1, SeekOrigin::Current), 8);
  EXPECT_EQ(s.Seek(-1, SeekOrigin::Begin), -1);  // refused, position kept
  EXPECT_EQ(s.Position(), 8);

  s.Clear();
  EXPECT_EQ(s.Size(), 0);
  EXPECT_EQ(s.Position(), 0);
}

TEST(StreamIntegers, ReadLittleEndianAndFailOnAShortRead) {
  MemoryStream s = Holding({0x78, 0x56, 0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF, 0xAA, 0xBB});
  EXPECT_EQ(s.ReadInt32(), 0x12345678);
  EXPECT_EQ(s.ReadInt32(), -2);
  try {
    s.ReadUInt32();
    FAIL() << "no error";
  } catch (const StreamReadError& e) {
    EXPECT_STREQ(e.what(), "Stream read error");
  }
  uint8_t buf[4];
  MemoryStream t = Holding({1, 2});
  EXPECT_THROW(t.ReadBuffer(buf, 3), StreamReadError);
}

TEST(MemoryStreamCopyFrom, CopiesFromThePositionOrTheWholeSourceForZero) {
  MemoryStream source = Holding({10, 11, 12, 13, 14, 15});
  source.Seek(2, SeekOrigin::Begin);
  MemoryStream dest;
  dest.CopyFrom(source, 3);
  EXPECT_EQ(dest.Bytes(), (std::vector<uint8_t>{12, 13, 14}));
  EXPECT_EQ(source.Position(), 5);

  MemoryStream whole;
  whole.CopyFrom(source, 0);
  EXPECT_EQ(whole.Bytes(), (std::vector<uint8_t>{10, 11, 12, 13, 14, 15}));
  EXPECT_EQ(whole.Position(), 6);
  EXPECT_EQ(source.Position(), 6);
}

TEST(MemoryStreamCopyFrom, ShortOrNegativeCopyRaisesBeforeAllocating) {
  MemoryStream source = Holding({1, 2, 3});
  source.Seek(1, SeekOrigin::Begin);
  MemoryStream dest;
  try {
    dest.CopyFrom(source, 3);
    FAIL() << "no error";
  } catch (const StreamReadError& e) {
    EXPECT_STREQ(e.what(), "Stream read error");
  }
  EXPECT_EQ(dest.Size(), 0);
  EXPECT_EQ(dest.Bytes().capacity(), 0u);
  // A size near 2^31 from a damaged file must not size anything.
  EXPECT_THROW(dest.CopyFrom(source, 0x7FFFFFF0), StreamReadError);
  EXPECT_THROW(dest.CopyFrom(source, -1), StreamReadError);
  EXPECT_EQ(dest.Bytes().capacity(), 0u);
}

class FileStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/selfplay-stream-XXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    path_ = name;
    const char bytes[] = "\x01\x00\x00\x00hello";
    ASSERT_EQ(write(fd, bytes, 9), 9);
    close(fd);
  }
  void TearDown() override { unlink(path_.c_str()); }
  std::string path_;
};

TEST_F(FileStreamTest, ReadsShortAtTheEndAndAllowsSeekingBeyond) {
  FileStream f(path_);
  EXPECT_EQ(f.Size(), 9);
  EXPECT_EQ(f.ReadInt32(), 1);
  char buf[16] = {};
  EXPECT_EQ(f.Read(buf, sizeof buf), 5u);
  EXPECT_STREQ(buf, "hello");
  EXPECT_EQ(f.Seek(100, SeekOrigin::Begin), 100);
  EXPECT_EQ(f.Read(buf, 4), 0u);
  EXPECT_EQ(f.Remaining(), 0);
  EXPECT_THROW(f.ReadInt32(), StreamReadError);
  f.Seek(5, SeekOrigin::Begin);
  MemoryStream m;
  m.CopyFrom(f, 4);
  EXPECT_EQ(std::string(m.Bytes().begin(), m.Bytes().end()), "ello");

  // Shared: a second reader of the same file works at the same time.
  FileStream g(path_);
  EXPECT_EQ(g.ReadInt32(), 1);
}

TEST(FileStream, OpenFailureNamesThePath) {
  try {
    FileStream f("/nonexistent/dir/file.exe");
    FAIL() << "no error";
  } catch (const FileOpenError& e) {
    EXPECT_STREQ(e.what(), "Cannot open file /nonexistent/dir/file.exe");
  }
}

}  // namespace
}  // namespace sp
