#include "app/headless/headless_run.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "payload/layout.h"
#include "payload/little_endian.h"

namespace sp {
namespace {

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

}  // namespace

std::vector<uint8_t> PayloadBehindStub(const std::vector<uint8_t>& recording, uint32_t oldStubSize,
                                       const std::vector<uint8_t>& stub) {
  std::vector<uint8_t> out(stub);
  if (recording.size() < size_t(oldStubSize) + 4) return out;
  out.insert(out.end(), recording.begin() + oldStubSize, recording.end());
  const uint32_t lead = LoadLittleEndian<uint32_t>(recording.data() + oldStubSize);
  const int64_t moved = lead == 0 ? 0 : int64_t(lead) - oldStubSize + int64_t(stub.size());
  StoreLittleEndian<uint32_t>(out.data() + stub.size(), static_cast<uint32_t>(moved));
  return out;
}

HeadlessRun::HeadlessRun(const HeadlessStart& start) : playPath_(start.path) {
  if (start.payloadOffset != PAYLOAD_OFFSET || start.bytes) {
    const std::vector<uint8_t> bytes = start.bytes ? *start.bytes : ReadFile(start.path);
    playPath_ = start.tempDir + "recording";
    const bool written =
        WriteFile(playPath_, start.payloadOffset == PAYLOAD_OFFSET
                                 ? bytes
                                 : PayloadBehindStub(bytes, start.payloadOffset,
                                                     std::vector<uint8_t>(PAYLOAD_OFFSET, 0)));
    if (!written) {
      startFailure_ = "the player could not start: cannot write its copy of the recording " + playPath_;
      return;
    }
  }
  system_.SetExecutablePath(playPath_);
  system_.SetTempPath(start.tempDir);
  // A screen of the recording's size: the picture is shown 1:1, cursor included.
  system_.SetScreenSize(start.screenWidth, start.screenHeight);
  player_ = std::make_unique<HeadlessPlayer>(system_);
  if (!player_->Created()) {
    startFailure_ = "the player could not start: " + player_->StopReason().value_or("?");
  } else if (auto error = player_->StopReason()) {
    startFailure_ = "the player could not show frame 0: " + *error;
  }
}

}  // namespace sp
