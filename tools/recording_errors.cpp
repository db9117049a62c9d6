#include "tools/recording_errors.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "payload/sound_table_decoder.h"
#include "platform/stream.h"
#include "tools/sound_check.h"

namespace sp::tool {
namespace {

// A code tree the player can expand behind the lead word at payloadOffset.
bool BeginsWithSoundTrack(const std::string& path, uint32_t payloadOffset) {
  try {
    FileStream file(path);
    const int64_t at = int64_t(payloadOffset) + 4;
    if (file.Size() < at + int64_t(kHuffTreeBytes)) return false;
    std::vector<uint8_t> bytes(kHuffTreeBytes);
    file.Seek(at, SeekOrigin::Begin);
    if (file.Read(bytes.data(), bytes.size()) != bytes.size()) return false;
    return CheckCodeTree(ParseHuffTree(bytes)).empty();
  } catch (const Error&) {
    return false;
  }
}

}  // namespace

void CheckReadableFile(const std::string& path) {
  struct stat st{};
  int error = 0;
  if (::stat(path.c_str(), &st) != 0) {
    error = errno;
  } else if (S_ISDIR(st.st_mode)) {
    error = EISDIR;
  } else if (::access(path.c_str(), R_OK) != 0) {
    error = errno;
  }
  if (error != 0) throw ToolError(path + ": " + std::strerror(error));
}

std::string NotARecordingMessage(const std::string& path, const std::string& detail) {
  return path + ": is not a recording (" + detail + ")";
}

std::string HeadFaultMessage(const std::string& path, uint32_t payloadOffset, const std::string& detail) {
  return BeginsWithSoundTrack(path, payloadOffset) ? path + ": " + detail : NotARecordingMessage(path, detail);
}

}  // namespace sp::tool
