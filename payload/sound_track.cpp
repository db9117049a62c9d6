#include "payload/sound_track.h"

#include <array>

#include "payload/layout.h"
#include "platform/file_io.h"

namespace sp {

namespace {

constexpr size_t kOutputBufferBytes = 10000;

int32_t LittleEndian32(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                              static_cast<uint32_t>(p[2]) << 16 |
                              static_cast<uint32_t>(p[3]) << 24);
}

bool InTable(int32_t index) { return index >= 0 && index < kHuffNodeCount; }

}  // namespace

SoundTrackResult ExpandSoundFile(std::FILE* in, std::FILE* out) {
  std::array<uint8_t, kHuffTreeBytes> treeBytes;
  uint8_t lengthBytes[4];
  if (std::fread(treeBytes.data(), 1, treeBytes.size(), in) != treeBytes.size() ||
      std::fread(lengthBytes, 1, sizeof lengthBytes, in) != sizeof lengthBytes) {
    return SoundTrackResult::kDamaged;
  }
  // Only the children are used; weight and parent are the recorder's.
  std::array<int32_t, kHuffNodeCount> one;
  std::array<int32_t, kHuffNodeCount> zero;
  for (int i = 0; i < kHuffNodeCount; ++i) {
    one[i] = LittleEndian32(&treeBytes[i * 16 + 8]);
    zero[i] = LittleEndian32(&treeBytes[i * 16 + 12]);
  }
  int32_t remaining = LittleEndian32(lengthBytes);

  std::array<uint8_t, kOutputBufferBytes> buffer;
  size_t n = 0;
  int32_t node = kHuffRoot;
  SoundTrackResult result = SoundTrackResult::kWritten;
  bool writeFailed = false;

  while (remaining > 0) {
    int c = std::getc(in);
    if (c == EOF) {
      result = SoundTrackResult::kTruncated;
      break;
    }
    for (int bit = 7; bit >= 0 && remaining > 0; --bit) {
      int32_t next = (c >> bit) & 1 ? one[node] : zero[node];
      if (!InTable(next)) {
        result = SoundTrackResult::kDamaged;
        break;
      }
      node = next;
      if (node >= kHuffLeafCount) continue;
      buffer[n++] = static_cast<uint8_t>(node);
      --remaining;
      if (remaining == 0) break;
      if (n == buffer.size()) {
        writeFailed |= std::fwrite(buffer.data(), 1, n, out) != n;
        n = 0;
      }
      node = kHuffRoot;
    }
    if (result != SoundTrackResult::kWritten || writeFailed) break;
  }
  if (n > 0 && !writeFailed) writeFailed = std::fwrite(buffer.data(), 1, n, out) != n;
  return writeFailed ? SoundTrackResult::kWriteFailed : result;
}

SoundTrackResult DecodeSoundTrack(const std::string& path, std::FILE* in) {
  std::FILE* out = OpenPrivateForWriting(path);
  if (!out) return SoundTrackResult::kCannotCreate;
  SoundTrackResult result = ExpandSoundFile(in, out);
  if (std::fclose(out) != 0 && result == SoundTrackResult::kWritten) {
    result = SoundTrackResult::kWriteFailed;
  }
  return result;
}

}  // namespace sp
