#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "payload/payload_reader.h"
#include "platform/stream.h"

namespace sp {

// Where a recording's payload was found in a file, and why there.
enum class PayloadSource {
  kPeOverlay,  // behind the image of a Windows executable
  kStubSize,   // behind a stub of one of the known sizes
  kBare,       // the file is the payload alone
};

struct PayloadLocation {
  uint32_t offset = 0;  // of the lead word
  PayloadSource source = PayloadSource::kBare;
  PayloadHead head;  // the lead word and the checked video header found there
};

// The sizes our stubs are padded to, beside the PE image end that a stub of
// any other size gives away.
inline constexpr uint32_t kKnownStubSizes[] = {PAYLOAD_OFFSET};

// The end of a PE executable's image: the largest end of a section's raw
// data, which is where anything appended to the executable (its overlay)
// begins. None when the file is no PE executable or its headers do not
// fit the file.
std::optional<uint32_t> PeOverlayOffset(Stream& file);

// Finds the payload: at the PE overlay for a Windows executable, else at a
// known stub size, else at offset 0. A place is taken only when its lead
// word points inside the file and a video header that the player can play
// lies there. When no place holds one, the error is the fault found at the
// most likely place (the overlay, else a known stub size the file reaches,
// else 0), naming the item and offset: PayloadEndError or DamagedRecording.
PayloadLocation LocatePayload(Stream& file);

// The place whose fault LocatePayload reports when no place holds a
// recording: the overlay of a Windows executable, the first known stub size
// of any other executable (PE or ELF), else 0.
uint32_t LikelyPayloadOffset(Stream& file);

const char* PayloadSourceName(PayloadSource source);

}  // namespace sp
