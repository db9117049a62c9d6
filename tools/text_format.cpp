#include "tools/text_format.h"

#include <cstdio>

namespace sp::tool {

std::string Seconds(double seconds) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.2f s", seconds);
  return buffer;
}

}  // namespace sp::tool
