#pragma once

#include <cstdint>
#include <string>

namespace sp {

// "1,234,567": how every count, size and offset is written for the user.
std::string Thousands(int64_t value);

}  // namespace sp
