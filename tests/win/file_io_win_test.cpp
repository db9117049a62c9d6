// The file seam on Windows: the private temporary file, the shared read
// stream and UTF-16 paths.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/errors.h"
#include "platform/file_io.h"
#include "platform/stream.h"
#include "platform/win32/wide.h"

namespace sp {
namespace {

std::string ReadWhole(const std::string& path) {
  std::FILE* f = OpenForReading(path);
  if (!f) return "<none>";
  std::string text;
  char buffer[256];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  std::fclose(f);
  return text;
}

void WriteWhole(const std::string& path, const std::string& text) {
  std::FILE* f = _wfopen(Wide(path).c_str(), L"wb");
  ASSERT_NE(f, nullptr) << path;
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

class WinFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A folder of its own in the temporary directory, with a Chinese name.
    dir_ = TempDirectory() + "selfplay-文件-" + std::to_string(GetCurrentProcessId()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_TRUE(CreateDirectoryW(Wide(dir_).c_str(), nullptr)) << GetLastError();
  }
  void TearDown() override {
    for (const char* name : {"\\声音.wav", "\\link.wav", "\\target", "\\other.wav",
                             "\\hard.wav", "\\readonly.wav"}) {
      const std::wstring path = Wide(dir_ + name);
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(path.c_str());
    }
    RemoveDirectoryW(Wide(dir_).c_str());
  }
  std::string dir_;
};

TEST(TempDirectory, IsTheSystemsAndEndsWithASeparator) {
  const std::string dir = TempDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '\\');
  wchar_t system[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, system);
  EXPECT_EQ(dir, Narrow(std::wstring_view(system, n)));
}

TEST_F(WinFileTest, CreatesTruncatesAndReadsBackUnderANonAsciiName) {
  const std::string path = dir_ + "\\声音.wav";
  std::FILE* f = OpenPrivateForWriting(path);
  ASSERT_NE(f, nullptr);
  std::fputs("0123456789", f);
  EXPECT_EQ(std::fclose(f), 0);
  EXPECT_EQ(ReadWhole(path), "0123456789");

  f = OpenPrivateForWriting(path);
  ASSERT_NE(f, nullptr);
  std::fputs("ab", f);
  std::fclose(f);
  EXPECT_EQ(ReadWhole(path), "ab");

  // The read stream: shared, the size as opened, fewer bytes at the end.
  FileStream stream(path);
  EXPECT_EQ(stream.Size(), 2);
  char buffer[8] = {};
  EXPECT_EQ(stream.Read(buffer, sizeof buffer), 2u);
  EXPECT_EQ(std::string(buffer), "ab");
  EXPECT_EQ(stream.Read(buffer, sizeof buffer), 0u);
  EXPECT_THROW(FileStream(dir_ + "\\missing"), FileOpenError);
  EXPECT_THROW(FileStream{dir_}, FileOpenError);  // a folder
}

TEST_F(WinFileTest, RefusesAPlantedLinkWithoutTouchingItsTarget) {
  const std::string target = dir_ + "\\target";
  const std::string link = dir_ + "\\link.wav";
  WriteWhole(target, "precious");
  // Wine 8 reports success without making a link (nothing is there after).
  const DWORD flags = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
  if (!CreateSymbolicLinkW(Wide(link).c_str(), Wide(target).c_str(), flags) ||
      GetFileAttributesW(Wide(link).c_str()) == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "no symbolic links here";
  }
  EXPECT_EQ(OpenPrivateForWriting(link), nullptr);
  EXPECT_EQ(ReadWhole(target), "precious");
}

TEST_F(WinFileTest, RefusesAHardLinkToAnotherFileWithoutTouchingIt) {
  const std::string other = dir_ + "\\other.wav";
  const std::string hard = dir_ + "\\hard.wav";
  WriteWhole(other, "someone else's");
  ASSERT_TRUE(CreateHardLinkW(Wide(hard).c_str(), Wide(other).c_str(), nullptr)) << GetLastError();
  EXPECT_EQ(OpenPrivateForWriting(hard), nullptr);
  EXPECT_EQ(ReadWhole(other), "someone else's");
}

TEST_F(WinFileTest, LeavesAFileInUseOrReadOnlyUnchanged) {
  // Another program has the file open and lets nobody write it.
  const std::string other = dir_ + "\\other.wav";
  WriteWhole(other, "in use");
  HANDLE held = CreateFileW(Wide(other).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(OpenPrivateForWriting(other), nullptr);
  CloseHandle(held);
  EXPECT_EQ(ReadWhole(other), "in use");

  const std::string readOnly = dir_ + "\\readonly.wav";
  WriteWhole(readOnly, "kept");
  ASSERT_TRUE(SetFileAttributesW(Wide(readOnly).c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(OpenPrivateForWriting(readOnly), nullptr);
  EXPECT_EQ(ReadWhole(readOnly), "kept");
}

TEST_F(WinFileTest, KeepsOthersOutWhileWriting) {
  const std::string path = dir_ + "\\声音.wav";
  std::FILE* f = OpenPrivateForWriting(path);
  ASSERT_NE(f, nullptr);
  HANDLE other = CreateFileW(Wide(path).c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_EQ(other, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
  std::fclose(f);
}

}  // namespace
}  // namespace sp
