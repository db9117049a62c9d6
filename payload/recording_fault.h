#pragma once

#include <optional>
#include <utility>

#include "payload/payload_reader.h"

namespace sp {

// The damage a reader of recordings expects, in one place: the file ends
// inside an item (PayloadEndError) or an item holds a value no recorder
// writes (DamagedRecording). Both name the item and offset; most callers
// treat them alike and only some ask which it was.
struct RecordingFault {
  enum class Kind { kFileEnds, kBadValue };
  ItemFault fault;
  Kind kind = Kind::kFileEnds;
};

// Runs read(); the expected damage comes back instead of being thrown, any
// other error passes through.
//
//   if (auto fault = CatchRecordingFault([&] { head = ReadPayloadHead(file); })) ...
template <typename Read>
std::optional<RecordingFault> CatchRecordingFault(Read&& read) {
  try {
    std::forward<Read>(read)();
  } catch (const PayloadEndError& e) {
    return RecordingFault{e.Fault(), RecordingFault::Kind::kFileEnds};
  } catch (const DamagedRecording& e) {
    return RecordingFault{e.Fault(), RecordingFault::Kind::kBadValue};
  }
  return std::nullopt;
}

}  // namespace sp
