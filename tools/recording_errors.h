#pragma once

#include <cstdint>
#include <string>

#include "payload/payload_reader.h"
#include "tools/command_line.h"

namespace sp::tool {

// Every command words what is wrong with a file given as a recording as
// the viewer does (payload/open_fault_words.h), the path in front:
//   "PATH: No such file or directory"    the system's reason, when the file
//                                        cannot be read at all
//   "PATH: is not a recording (DETAIL)"  nothing in it begins a recording
//   "PATH: DETAIL"                       a recording, damaged at DETAIL's item

// ToolError "PATH: REASON" when path is missing, a folder or unreadable.
void CheckReadableFile(const std::string& path);

// The message for a fault found before a video header was read: a file
// whose payload begins like a recording's (a sound track's code tree behind
// the lead word) is a damaged recording, any other is none.
std::string HeadFaultMessage(const std::string& path, uint32_t payloadOffset, const std::string& detail);

std::string NotARecordingMessage(const std::string& path, const std::string& detail);

}  // namespace sp::tool
