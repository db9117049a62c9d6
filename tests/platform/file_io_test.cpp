#include "platform/file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace sp {
namespace {

class PrivateFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/selfplay-fileio-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
  }
  void TearDown() override {
    for (const char* f : {"/out.wav", "/link.wav", "/target", "/fifo"}) unlink((dir_ + f).c_str());
    rmdir(dir_.c_str());
  }
  std::string dir_;
};

TEST_F(PrivateFileTest, CreatesModeSixHundredAndTruncates) {
  std::string path = dir_ + "/out.wav";
  std::FILE* f = OpenPrivateForWriting(path);
  ASSERT_NE(f, nullptr);
  std::fputs("0123456789", f);
  std::fclose(f);
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  f = OpenPrivateForWriting(path);
  ASSERT_NE(f, nullptr);
  std::fputs("ab", f);
  std::fclose(f);
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 2);

  // An earlier file of ours that others could read is made private again.
  ASSERT_EQ(chmod(path.c_str(), 0644), 0);
  f = OpenPrivateForWriting(path);
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(st.st_size, 0);
}

TEST_F(PrivateFileTest, RefusesSymlinksAndNonRegularFiles) {
  std::string target = dir_ + "/target";
  std::string link = dir_ + "/link.wav";
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  EXPECT_EQ(OpenPrivateForWriting(link), nullptr);
  struct stat st {};
  EXPECT_NE(stat(target.c_str(), &st), 0);  // nothing created behind the link

  std::string fifo = dir_ + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(OpenPrivateForWriting(fifo), nullptr);  // and does not block
  EXPECT_EQ(OpenPrivateForWriting(dir_), nullptr);
}

}  // namespace
}  // namespace sp
