#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace sp {

// A fixed-width text field in code page 936 (GBK), ended by its first zero
// byte or by the end of the field, as UTF-8. Bytes that are not GBK become
// U+FFFD.
std::string DecodeGbkField(const char* field, size_t width);
std::string GbkToUtf8(std::string_view gbk);
std::string Utf8ToGbk(std::string_view utf8);

}  // namespace sp
