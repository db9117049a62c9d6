#include "payload/open_fault_words.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "payload/c_file.h"
#include "payload/code_tree.h"
#include "payload/payload_locator.h"
#include "payload/recording_fault.h"
#include "payload/sound_table_decoder.h"
#include "platform/stream.h"

namespace sp {
namespace {

// A code tree the player can expand behind the lead word at payloadOffset.
bool BeginsWithSoundTrack(Stream& file, uint32_t payloadOffset) {
  const int64_t at = int64_t(payloadOffset) + 4;
  if (file.Size() < at + int64_t(kHuffTreeBytes)) return false;
  std::vector<uint8_t> bytes(kHuffTreeBytes);
  file.Seek(at, SeekOrigin::Begin);
  if (file.Read(bytes.data(), bytes.size()) != bytes.size()) return false;
  return CheckCodeTree(ParseHuffTree(bytes)).empty();
}

}  // namespace

std::optional<std::string> UnreadableFileReason(const std::string& path) {
  struct stat st{};
  int error = 0;
  if (::stat(path.c_str(), &st) != 0) {
    error = errno;
  } else if (S_ISDIR(st.st_mode)) {
    error = EISDIR;
  } else if (CFile file(std::fopen(path.c_str(), "rb")); !file) {
    error = errno;
  }
  if (error == 0) return std::nullopt;
  return std::string(std::strerror(error));
}

std::string NotARecordingReason(const std::string& detail) { return "is not a recording (" + detail + ")"; }

std::string HeadFaultReason(const std::string& path, uint32_t payloadOffset, const std::string& detail) {
  bool recording = false;
  try {
    FileStream file(path);
    recording = BeginsWithSoundTrack(file, payloadOffset);
  } catch (const Error&) {
  }
  return recording ? detail : NotARecordingReason(detail);
}

std::string OpenFaultReason(const std::string& path, const std::string& detail) {
  uint32_t likely = 0;
  try {
    FileStream file(path);
    if (!CatchRecordingFault([&] { LocatePayload(file); })) return detail;
    likely = LikelyPayloadOffset(file);
  } catch (const Error&) {
    return NotARecordingReason(detail);
  }
  return HeadFaultReason(path, likely, detail);
}

}  // namespace sp
