#include "platform/text.h"

#include <cstring>

namespace sp {

std::string DecodeGbkField(const char* field, size_t width) {
  return GbkToUtf8(std::string_view(field, strnlen(field, width)));
}

}  // namespace sp
