#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sp {

// How every program words what is wrong with a file given as a recording;
// each puts the file's name in front, "NAME: WHY":
//   "No such file or directory"    the system's reason, when the file
//                                  cannot be read at all
//   "is not a recording (DETAIL)"  nothing in it begins a recording
//   "DETAIL"                       a recording, damaged at DETAIL's item
// DETAIL is the payload reader's sentence, naming the item and offset.

// The system's reason when path is missing, a folder or unreadable; none
// when it can be read.
std::optional<std::string> UnreadableFileReason(const std::string& path);

std::string NotARecordingReason(const std::string& detail);

// For a fault met before a video header was read: a file whose payload at
// payloadOffset begins like a recording's (a sound track's code tree behind
// the lead word) is a damaged recording, any other is none.
std::string HeadFaultReason(const std::string& path, uint32_t payloadOffset, const std::string& detail);

// For a fault met opening the file where LocatePayload looks: damage when a
// video header is found, else as HeadFaultReason at the place whose fault
// LocatePayload reports.
std::string OpenFaultReason(const std::string& path, const std::string& detail);

}  // namespace sp
