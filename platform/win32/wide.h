#pragma once

// UTF-8 and the UTF-16 of the Windows API. Included only by Windows code.
#include <string>
#include <string_view>

#include "platform/utf8.h"

namespace sp {

inline std::wstring Wide(std::string_view utf8) {
  const std::u16string s = Utf8ToUtf16(utf8);
  return std::wstring(s.begin(), s.end());
}

inline std::string Narrow(std::wstring_view wide) {
  return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

}  // namespace sp
