#include "tools/text_format.h"

#include <cstdio>

namespace sp::tool {

std::string Seconds(double seconds) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.2f s", seconds);
  return buffer;
}

std::string JsonString(std::string_view utf8) {
  std::string out = "\"";
  for (char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", c);
          out += escape;
        } else {
          out.push_back(ch);
        }
    }
  }
  out.push_back('"');
  return out;
}

}  // namespace sp::tool
