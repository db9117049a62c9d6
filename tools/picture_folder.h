#pragma once

#include <string>
#include <vector>

namespace sp {
class Bitmap;
}

namespace sp::tool {

// The PNG and JPEG files (.png, .jpg, .jpeg in any case) of a folder,
// sorted by name; ToolError when there are none.
std::vector<std::string> ListPictures(const std::string& folder);

// Decodes a PNG or JPEG file (chosen by its first bytes) into bitmap.
void LoadPicture(const std::string& path, Bitmap& bitmap);

}  // namespace sp::tool
