#include "tools/extract_sound.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "payload/c_file.h"
#include "payload/layout.h"
#include "payload/sound_track.h"
#include "tools/command_line.h"
#include "tools/text_format.h"

namespace sp::tool {

int64_t ExtractSound(const std::string& path, uint32_t payloadOffset, const std::string& output) {
  CFile in(std::fopen(path.c_str(), "rb"));
  if (!in) throw ToolError(path + ": " + std::strerror(errno));
  std::error_code error;
  const auto size = static_cast<int64_t>(std::filesystem::file_size(path, error));
  if (error) throw ToolError(path + ": " + error.message());
  if (int64_t(payloadOffset) + 4 > size) {
    throw ToolError(path + ": the file of " + Thousands(size) + " bytes ends before the payload at offset " +
                    Thousands(payloadOffset));
  }
  uint8_t lead[4];
  if (std::fseek(in.get(), payloadOffset, SEEK_SET) != 0 || std::fread(lead, 1, 4, in.get()) != 4) {
    throw ToolError(path + ": cannot read the lead word at offset " + Thousands(payloadOffset));
  }
  const uint32_t videoOffset = uint32_t(lead[0]) | uint32_t(lead[1]) << 8 | uint32_t(lead[2]) << 16 |
                               uint32_t(lead[3]) << 24;
  if (videoOffset == 0) throw ToolError(path + ": the recording has no sound track (its lead word is 0)");
  if (int64_t(videoOffset) > size) {
    throw ToolError(path + ": the lead word points the video stream at offset " + Thousands(videoOffset) +
                    ", past the end of the file at offset " + Thousands(size));
  }

  CFile out(std::fopen(output.c_str(), "wb"));
  if (!out) throw ToolError(output + ": " + std::strerror(errno));
  SoundTrackResult result = ExpandSoundFile(in.get(), out.get());
  if (std::fclose(out.release()) != 0 && result == SoundTrackResult::kWritten) {
    result = SoundTrackResult::kWriteFailed;
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
