#pragma once

#include <string>

namespace sp {
class Bitmap;
}

namespace sp::tool {

// Reads a PNG of any colour type into bitmap (0x00RRGGBB); transparent
// pixels are composed onto white, the colour of the player's form.
// ToolError naming the file when it is not a readable PNG.
void ReadPng(const std::string& path, Bitmap& bitmap);

// Writes the bitmap as an 8-bit RGB PNG.
void WritePng(const std::string& path, const Bitmap& bitmap);

}  // namespace sp::tool
