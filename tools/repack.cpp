#include "tools/repack.h"

#include "app/headless/headless_run.h"
#include "payload/layout.h"
#include "payload/payload_reader.h"
#include "payload/recording_fault.h"
#include "tools/command_line.h"
#include "tools/text_format.h"

namespace sp::tool {
std::vector<uint8_t> ReplaceStub(const std::vector<uint8_t>& recording, uint32_t oldStubSize,
                                 const std::vector<uint8_t>& stub) {
  const int64_t size = static_cast<int64_t>(recording.size());
  // The shortest payload: lead word, video header, the skipped fields, caption style.
  const int64_t smallest = 4 + int64_t(kVideoHeaderBytes + kSkippedFieldBytes + kCaptionStyleBytes);
  if (int64_t(oldStubSize) + smallest > size) {
    throw ToolError("a stub of " + Thousands(oldStubSize) + " bytes leaves no payload in a file of " +
                    Thousands(size) + " bytes");
  }
  ByteViewStream file(recording);
  PayloadReader reader(file);
  const uint32_t lead = reader.ReadLeadWord(oldStubSize);
  if (lead != 0) {
    const int64_t soundAndLength = 4 + int64_t(kHuffTreeBytes) + 4;
    if (int64_t(lead) < int64_t(oldStubSize) + soundAndLength || int64_t(lead) > size - int64_t(kVideoHeaderBytes)) {
      throw ToolError("the lead word at offset " + Thousands(oldStubSize) + " is " + Thousands(lead) +
                      ", which is no video stream offset in a file of " + Thousands(size) +
                      " bytes; is the stub really " + Thousands(oldStubSize) + " bytes?");
    }
  }
  // The video header must read as one, or the stub size is wrong.
  const int64_t video = lead == 0 ? int64_t(oldStubSize) + 4 : int64_t(lead);
  file.Seek(video, SeekOrigin::Begin);
  VideoHeader header;
  if (auto fault = CatchRecordingFault([&] { header = reader.ReadVideoHeader(PayloadReader::HeaderCheck::kNone); })) {
    throw ToolError("no video header at offset " + Thousands(video) + " (" + fault->fault.message +
                    "), as the lead word at offset " + Thousands(oldStubSize) +
                    " gives it; is the stub really " + Thousands(oldStubSize) + " bytes?");
  }
  const int32_t width = header.FrameWidth;
  const int32_t height = header.FrameHeight;
  const int32_t count = header.FrameCount;
  const int32_t interval = header.FrameInterval;
  if (width <= 0 || width > kMaxFrameSide || height <= 0 || height > kMaxFrameSide || count < 1 ||
      interval < kMinFrameInterval) {
    throw ToolError("no video header at offset " + Thousands(video) + " (frame size " +
                    std::to_string(width) + " x " + std::to_string(height) + ", " + std::to_string(count) +
                    " frames every " + std::to_string(interval) + " ms), as the lead word at offset " +
                    Thousands(oldStubSize) + " gives it; is the stub really " + Thousands(oldStubSize) +
                    " bytes?");
  }
  const int64_t newLead = lead == 0 ? 0 : int64_t(lead) - oldStubSize + int64_t(stub.size());
  const int64_t newSize = size - oldStubSize + int64_t(stub.size());
  if (newLead > UINT32_MAX || newSize > int64_t(UINT32_MAX)) {
    throw ToolError("behind a stub of " + Thousands(int64_t(stub.size())) +
                    " bytes the video stream lies beyond what the 32-bit lead word can hold");
  }
  return PayloadBehindStub(recording, oldStubSize, stub);
}

}  // namespace sp::tool
