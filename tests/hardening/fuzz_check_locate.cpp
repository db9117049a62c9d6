// The fuzz check of the payload locator, which reads the headers of any
// file handed to the viewer or the tool.
#include <string>

#include "payload/payload_locator.h"
#include "payload/payload_reader.h"
#include "platform/errors.h"
#include "tests/hardening/fuzz_checks.h"

namespace sp::hardening {

std::string CheckLocate(const uint8_t* data, size_t size) {
  ByteViewStream file({data, size});
  const int64_t fileSize = static_cast<int64_t>(size);
  const std::optional<uint32_t> overlay = PeOverlayOffset(file);
  if (overlay && *overlay > fileSize) {
    return "the overlay begins at " + std::to_string(*overlay) + ", past the file's end";
  }
  PayloadLocation found;
  try {
    found = LocatePayload(file);
  } catch (const PayloadEndError& e) {
    if (e.Fault().message.empty()) return "a refusal without a message";
    return {};
  } catch (const DamagedRecording& e) {
    if (e.Fault().message.empty()) return "a refusal without a message";
    return {};
  }
  if (int64_t{found.offset} + 4 > fileSize) return "the lead word lies past the file's end";
  if (found.source == PayloadSource::kPeOverlay && found.offset != overlay) {
    return "an overlay payload away from the overlay";
  }
  const PayloadHead& head = found.head;
  if (head.videoOffset <= found.offset || head.videoOffset >= fileSize) {
    return "the video stream at " + std::to_string(head.videoOffset) + " lies outside the file";
  }
  if (head.header.FrameWidth <= 0 || head.header.FrameHeight <= 0 || head.header.FrameCount <= 0) {
    return "a header the player cannot play was taken";
  }
  return {};
}

}  // namespace sp::hardening
