#include "platform/errors.h"

#include <cctype>

namespace sp {

JpegError::JpegError(int code) : Error("JPEG error #" + std::to_string(code)), code_(code) {}

std::string ApplicationTitle(std::string_view executablePath) {
  size_t slash = executablePath.find_last_of("/\\");
  std::string_view name =
      slash == std::string_view::npos ? executablePath : executablePath.substr(slash + 1);
  name = name.substr(0, name.find('.'));
  std::string title(name);
  for (size_t i = 1; i < title.size(); ++i) {
    title[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(title[i])));
  }
  return title;
}

}  // namespace sp
