// GBK through iconv.
#include "platform/text.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace sp {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// An iconv descriptor for one call, closed on every way out.
class Converter {
 public:
  Converter(const char* to, const char* from, const char* fromAlias) {
    cd_ = iconv_open(to, from);
    if (cd_ == reinterpret_cast<iconv_t>(-1)) cd_ = iconv_open(to, fromAlias);
  }
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts input, calling onBad(remaining input) at a byte sequence that
  // cannot be converted; onBad appends its substitute and returns how many
  // input bytes to skip.
  template <typename OnBad>
  std::string Convert(std::string_view input, OnBad onBad) {
    std::string out;
    char buffer[256];
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    while (inLeft > 0) {
      char* o = buffer;
      size_t oLeft = sizeof buffer;
      size_t r = iconv(cd_, &in, &inLeft, &o, &oLeft);
      out.append(buffer, static_cast<size_t>(o - buffer));
      if (r != static_cast<size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      // EILSEQ, or EINVAL for a sequence cut off by the end of the input.
      size_t skip = onBad(out, std::string_view(in, inLeft));
      in += skip;
      inLeft -= skip;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  iconv_t cd_;
};

// The length of the UTF-8 sequence at the front of s, or 1 when it is not
// a well-formed one.
size_t Utf8SequenceLength(std::string_view s) {
  auto lead = static_cast<unsigned char>(s[0]);
  size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3
                                  : (lead >> 3) == 0x1E ? 4 : 0;
  if (length == 0 || length > s.size()) return 1;
  for (size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

}  // namespace

std::string GbkToUtf8(std::string_view gbk) {
  Converter converter("UTF-8", "GBK", "CP936");
  if (!converter.ok()) return std::string(gbk);
  // A byte that starts no GBK character is replaced alone, so that an ASCII
  // byte after a stray lead byte survives.
  return converter.Convert(gbk, [](std::string& out, std::string_view) {
    out.append(kReplacement);
    return size_t{1};
  });
}

std::string Utf8ToGbk(std::string_view utf8) {
  Converter converter("GBK", "UTF-8", "UTF8");
  if (!converter.ok()) return std::string(utf8);
  return converter.Convert(utf8, [](std::string& out, std::string_view rest) {
    out.push_back('?');
    return Utf8SequenceLength(rest);
  });
}

}  // namespace sp
