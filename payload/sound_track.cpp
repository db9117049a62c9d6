#include "payload/sound_track.h"

#include <algorithm>
#include <span>
#include <vector>

#include "payload/sound_expander.h"
#include "platform/file_io.h"
#include "platform/stream.h"

namespace sp {

namespace {

constexpr size_t kOutputBufferBytes = 10000;

// The C runtime's file as a stream, so that the player reads its sound
// track through the C runtime as it reads its lead word.
class CFileStream : public Stream {
 public:
  explicit CFileStream(std::FILE* file) : file_(file) {}
  size_t Read(void* buffer, size_t count) override { return std::fread(buffer, 1, count, file_); }
  int64_t Seek(int64_t offset, SeekOrigin origin) override {
    const int whence = origin == SeekOrigin::Begin ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
    std::fseek(file_, static_cast<long>(offset), whence);
    return Position();
  }
  int64_t Size() const override {
    const long at = std::ftell(file_);
    std::fseek(file_, 0, SEEK_END);
    const long size = std::ftell(file_);
    std::fseek(file_, at, SEEK_SET);
    return size;
  }
  int64_t Position() const override { return std::ftell(file_); }

 private:
  std::FILE* file_;
};

}  // namespace

SoundTrackResult ExpandSoundFile(std::FILE* in, std::FILE* out, int64_t bitStreamEnd,
                                 int64_t* decoded) {
  if (decoded) *decoded = 0;
  CFileStream stream(in);
  SoundExpander expander(stream, bitStreamEnd);
  // Written in pieces of 10,000 bytes and once more at the end.
  std::vector<uint8_t> buffer;
  buffer.reserve(kOutputBufferBytes);
  for (std::span<const uint8_t> chunk = expander.Next(); !chunk.empty(); chunk = expander.Next()) {
    if (decoded) *decoded += static_cast<int64_t>(chunk.size());
    while (!chunk.empty()) {
      const size_t take = std::min(chunk.size(), kOutputBufferBytes - buffer.size());
      buffer.insert(buffer.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(take));
      chunk = chunk.subspan(take);
      if (buffer.size() < kOutputBufferBytes) continue;
      if (std::fwrite(buffer.data(), 1, buffer.size(), out) != buffer.size()) {
        return SoundTrackResult::kWriteFailed;
      }
      buffer.clear();
    }
  }
  if (!buffer.empty() && std::fwrite(buffer.data(), 1, buffer.size(), out) != buffer.size()) {
    return SoundTrackResult::kWriteFailed;
  }
  switch (expander.Status()) {
    case SoundDecodeStatus::kComplete: return SoundTrackResult::kWritten;
    case SoundDecodeStatus::kDamaged: return SoundTrackResult::kDamaged;
    case SoundDecodeStatus::kTruncated: break;
  }
  return SoundTrackResult::kTruncated;
}

SoundTrackResult DecodeSoundTrack(const std::string& path, std::FILE* in, int64_t bitStreamEnd,
                                  int64_t* decoded) {
  if (decoded) *decoded = 0;
  std::FILE* out = OpenPrivateForWriting(path);
  if (!out) return SoundTrackResult::kCannotCreate;
  SoundTrackResult result = ExpandSoundFile(in, out, bitStreamEnd, decoded);
  if (std::fclose(out) != 0 && result == SoundTrackResult::kWritten) {
    result = SoundTrackResult::kWriteFailed;
  }
  // A full disk cut the file short: it would play as a shorter sound track
  // than the recording's, so it goes.
  if (result == SoundTrackResult::kWriteFailed) std::remove(path.c_str());
  return result;
}

}  // namespace sp
