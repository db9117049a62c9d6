#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace sp {

constexpr char32_t kReplacementCharacter = 0xFFFD;

// The code point at pos, advancing pos past it. A byte sequence that is not
// well-formed UTF-8 gives one U+FFFD per maximal ill-formed part.
char32_t NextCodePoint(std::string_view text, size_t& pos);

void AppendUtf8(std::string& out, char32_t c);

// UTF-16, as the Windows API takes paths and text; ill-formed input gives
// U+FFFD, an unpaired surrogate included.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace sp
