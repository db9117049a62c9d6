#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

}  // namespace sp
