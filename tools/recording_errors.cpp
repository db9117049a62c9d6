#include "tools/recording_errors.h"

#include "payload/open_fault_words.h"

namespace sp::tool {

void CheckReadableFile(const std::string& path) {
  if (auto reason = UnreadableFileReason(path)) throw ToolError(path + ": " + *reason);
}

std::string NotARecordingMessage(const std::string& path, const std::string& detail) {
  return path + ": " + NotARecordingReason(detail);
}

std::string HeadFaultMessage(const std::string& path, uint32_t payloadOffset, const std::string& detail) {
  return path + ": " + HeadFaultReason(path, payloadOffset, detail);
}

}  // namespace sp::tool
