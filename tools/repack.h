#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sp::tool {

// The payload of `recording`, whose stub is its first oldStubSize bytes,
// behind `stub` instead: the lead word, an absolute file offset of the
// video stream, moves by the difference of the sizes (0, no sound track,
// stays 0). ToolError when the old size does not fit the file or the lead
// word cannot be an offset behind it.
std::vector<uint8_t> ReplaceStub(const std::vector<uint8_t>& recording, uint32_t oldStubSize,
                                 const std::vector<uint8_t>& stub);

}  // namespace sp::tool
