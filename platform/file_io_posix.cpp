#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/file_io.h"

namespace sp {

std::FILE* OpenPrivateForWriting(const std::string& path) {
  // O_NONBLOCK only keeps a planted FIFO from blocking the open; it is
  // cleared again for the regular file that passes the checks.
  // The file is truncated only after the checks, so a planted file of
  // someone else's is refused without being emptied.
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
  if (fd < 0) return nullptr;
  // O_CREAT keeps an existing file's owner and mode: a file planted by
  // someone else in a shared temporary directory must not be written.
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
    ::close(fd);
    return nullptr;
  }
  if (::ftruncate(fd, 0) != 0 || ::fchmod(fd, 0600) != 0) {
    ::close(fd);
    return nullptr;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) ::close(fd);
  return file;
}

std::FILE* OpenForReading(const std::string& path) { return std::fopen(path.c_str(), "rb"); }

NativeFile OpenSharedForReading(const std::string& path, int64_t& size) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return kNoFile;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return kNoFile;
  }
  size = static_cast<int64_t>(st.st_size);
  return fd;
}

size_t ReadFileAt(NativeFile file, void* buffer, size_t count, int64_t offset) {
  auto* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(static_cast<int>(file), out + done, count - done,
                              static_cast<off_t>(offset + static_cast<int64_t>(done)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

void CloseFile(NativeFile file) {
  if (file != kNoFile) ::close(static_cast<int>(file));
}

std::string TempDirectory() {
  const char* dir = std::getenv("TMPDIR");
  if (dir == nullptr || *dir == '\0') return "/tmp/";
  std::string path = dir;
  if (path.back() != '/') path += '/';
  return path;
}

}  // namespace sp
