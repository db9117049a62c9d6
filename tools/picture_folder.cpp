#include "tools/picture_folder.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "platform/bitmap.h"
#include "platform/errors.h"
#include "platform/jpeg_image.h"
#include "platform/stream.h"
#include "tools/command_line.h"
#include "tools/file_util.h"
#include "tools/png_io.h"

namespace sp::tool {
namespace {

bool IsPictureName(const std::filesystem::path& path) {
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext == ".png" || ext == ".jpg" || ext == ".jpeg";
}

}  // namespace

std::vector<std::string> ListPictures(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (!fs::is_directory(folder, error)) throw ToolError(folder + ": not a folder");
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    if (entry.is_regular_file(error) && IsPictureName(entry.path())) {
      names.push_back(entry.path().filename().string());
    }
  }
  if (error) throw ToolError(folder + ": " + error.message());
  if (names.empty()) throw ToolError(folder + ": no .png or .jpg pictures in it");
  std::sort(names.begin(), names.end());
  std::vector<std::string> paths;
  for (const std::string& name : names) paths.push_back((fs::path(folder) / name).string());
  return paths;
}

void LoadPicture(const std::string& path, Bitmap& bitmap) {
  std::vector<uint8_t> bytes = ReadWholeFile(path);
  if (bytes.size() >= 8 && bytes[0] == 0x89 && bytes[1] == 'P' && bytes[2] == 'N' && bytes[3] == 'G') {
    ReadPng(path, bitmap);
    return;
  }
  if (bytes.size() < 3 || bytes[0] != 0xFF || bytes[1] != 0xD8) {
    throw ToolError(path + ": neither a PNG nor a JPEG");
  }
  MemoryStream stream;
  stream.Write(bytes.data(), bytes.size());
  stream.Seek(0, SeekOrigin::Begin);
  try {
    JpegImage jpeg;
    jpeg.LoadFromStream(stream);
    jpeg.AssignTo(bitmap);
  } catch (const Error& e) {
    throw ToolError(path + ": the JPEG does not decode (" + e.what() + ")");
  }
}

}  // namespace sp::tool
