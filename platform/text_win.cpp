// GBK as Windows' code page 936, which every Windows decodes whatever its
// own ANSI code page.
#include <windows.h>

#include "platform/text.h"
#include "platform/utf8.h"
#include "platform/win32/wide.h"

namespace sp {

namespace {

constexpr UINT kGbk = 936;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

}  // namespace

std::string GbkToUtf8(std::string_view gbk) {
  // One character at a time, so that a byte that starts no GBK character is
  // replaced alone and an ASCII byte after a stray lead byte survives.
  std::string out;
  for (size_t i = 0; i < gbk.size();) {
    const auto byte = static_cast<unsigned char>(gbk[i]);
    if (byte < 0x80) {
      out.push_back(static_cast<char>(byte));
      ++i;
      continue;
    }
    wchar_t wide[2];
    int n = 0;
    for (size_t length : {size_t{2}, size_t{1}}) {
      if (i + length > gbk.size()) continue;
      n = MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, gbk.data() + i,
                              static_cast<int>(length), wide, 2);
      if (n > 0) {
        out += Narrow(std::wstring_view(wide, static_cast<size_t>(n)));
        i += length;
        break;
      }
    }
    if (n <= 0) {
      out.append(kReplacement);
      ++i;
    }
  }
  return out;
}

std::string Utf8ToGbk(std::string_view utf8) {
  std::string out;
  for (size_t pos = 0; pos < utf8.size();) {
    const size_t start = pos;
    const char32_t c = NextCodePoint(utf8, pos);
    const std::wstring wide = Wide(utf8.substr(start, pos - start));
    char bytes[8];
    BOOL usedDefault = FALSE;
    const int n = c == kReplacementCharacter
                      ? 0
                      : WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, wide.data(),
                                            static_cast<int>(wide.size()), bytes, sizeof bytes,
                                            nullptr, &usedDefault);
    if (n <= 0 || usedDefault) {
      out.push_back('?');
    } else {
      out.append(bytes, static_cast<size_t>(n));
    }
  }
  return out;
}

}  // namespace sp
