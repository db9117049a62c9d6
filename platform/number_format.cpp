#include "platform/number_format.h"

namespace sp {

std::string Thousands(int64_t value) {
  // The magnitude as unsigned, so that the most negative value works too.
  const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  const std::string digits = std::to_string(magnitude);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return value < 0 ? "-" + out : out;
}

}  // namespace sp
