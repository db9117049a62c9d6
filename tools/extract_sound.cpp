#include "tools/extract_sound.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "payload/c_file.h"
#include "payload/layout.h"
#include "payload/payload_reader.h"
#include "payload/recording_fault.h"
#include "platform/stream.h"
#include "payload/sound_track.h"
#include "tools/command_line.h"
#include "tools/file_util.h"
#include "tools/recording_errors.h"
#include "tools/text_format.h"

namespace sp::tool {

int64_t ExtractSound(const std::string& path, uint32_t payloadOffset, const std::string& output,
                     Overwrite overwrite) {
  CheckOutputFree(output, overwrite);
  CheckReadableFile(path);
  CFile in(std::fopen(path.c_str(), "rb"));
  if (!in) throw ToolError(path + ": " + std::strerror(errno));
  std::error_code error;
  const auto size = static_cast<int64_t>(std::filesystem::file_size(path, error));
  if (error) throw ToolError(path + ": " + error.message());
  uint32_t videoOffset = 0;
  std::optional<RecordingFault> fault;
  try {
    FileStream file(path);
    fault = CatchRecordingFault([&] { videoOffset = PayloadReader(file).ReadLeadWord(payloadOffset); });
  } catch (const Error& e) {
    throw ToolError(path + ": " + e.what());
  }
  if (fault) throw ToolError(NotARecordingMessage(path, fault->fault.message));
  if (videoOffset == 0) throw ToolError(path + ": the recording has no sound track (its lead word is 0)");
  if (int64_t(videoOffset) > size) {
    throw ToolError(HeadFaultMessage(path, payloadOffset, "lead word: the lead word points the video stream at offset " + Thousands(videoOffset) +
                    ", past the end of the file at offset " + Thousands(size)));
  }
  // The sound track follows the lead word.
  if (std::fseek(in.get(), static_cast<long>(int64_t(payloadOffset) + int64_t(sizeof(LeadWordRecord))),
                 SEEK_SET) != 0) {
    throw ToolError(path + ": cannot read the lead word at offset " + Thousands(payloadOffset));
  }

  CFile out(std::fopen(output.c_str(), "wb"));
  if (!out) throw ToolError(output + ": " + std::strerror(errno));
  SoundTrackResult result = ExpandSoundFile(in.get(), out.get(), videoOffset);
  int writeErrno = result == SoundTrackResult::kWriteFailed ? errno : 0;
  if (std::fclose(out.release()) != 0 && result == SoundTrackResult::kWritten) {
    result = SoundTrackResult::kWriteFailed;
    writeErrno = errno;
  }
  if (result == SoundTrackResult::kWriteFailed) {
    // Cut short by a full disk, it would pass for a shorter sound track.
    if (std::filesystem::is_regular_file(std::filesystem::symlink_status(output, error))) {
      std::filesystem::remove(output, error);
    }
    throw ToolError(output + ": write error" + (writeErrno ? std::string(": ") + std::strerror(writeErrno) : "") +
                    "; nothing was kept");
  }
  const auto written = static_cast<int64_t>(std::filesystem::file_size(output, error));
  switch (result) {
    case SoundTrackResult::kWritten:
      return written;
    case SoundTrackResult::kDamaged:
      throw ToolError(path + ": the sound track at offset " + Thousands(int64_t(payloadOffset) + 4) +
                      " is damaged (its code tree or length is cut off, or a code leads outside "
                      "the tree); " + Thousands(written) + " bytes written to " + output);
    case SoundTrackResult::kTruncated:
      throw ToolError(path + ": the sound track's bit stream ends before its decoded length; " +
                      Thousands(written) + " bytes written to " + output);
    default:
      throw ToolError(output + ": write error");
  }
}

}  // namespace sp::tool
