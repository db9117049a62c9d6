#pragma once

#include "platform/number_format.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace sp::tool {

// 1234567 -> "1,234,567"; how every count and offset is shown to the user,
// as the payload reader writes them in its messages.
using sp::Thousands;

// Seconds with two decimals: "356.00 s".
std::string Seconds(double seconds);

}  // namespace sp::tool
