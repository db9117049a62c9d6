#include "tools/sound_check.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "payload/little_endian.h"

namespace sp::tool {
namespace {

uint32_t Le32(const uint8_t* p) { return LoadLittleEndian<uint32_t>(p); }
uint16_t Le16(const uint8_t* p) { return LoadLittleEndian<uint16_t>(p); }

}  // namespace

std::string WavFormat::FormatName() const {
  if (formatTag == 1) return "PCM";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "format 0x%04X", formatTag);
  return buffer;
}

WavFormat ParseWavHeader(std::span<const uint8_t> head) {
  WavFormat wav;
  if (head.size() < 12 || std::memcmp(head.data(), "RIFF", 4) != 0 ||
      std::memcmp(head.data() + 8, "WAVE", 4) != 0) {
    wav.problem = "does not begin with a RIFF WAVE header";
    return wav;
  }
  wav.riffSize = Le32(head.data() + 4);
  bool haveFormat = false;
  size_t at = 12;
  while (at + 8 <= head.size()) {
    const uint8_t* chunk = head.data() + at;
    const uint32_t size = Le32(chunk + 4);
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (size < 16 || at + 8 + 16 > head.size()) {
        wav.problem = "has a \"fmt \" chunk of " + std::to_string(size) + " bytes";
        return wav;
      }
      const uint8_t* f = chunk + 8;
      wav.formatTag = Le16(f);
      wav.channels = Le16(f + 2);
      wav.sampleRate = Le32(f + 4);
      wav.byteRate = Le32(f + 8);
      wav.blockAlign = Le16(f + 12);
      wav.bitsPerSample = Le16(f + 14);
      haveFormat = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!haveFormat) {
        wav.problem = "has its \"data\" chunk before the \"fmt \" chunk";
        return wav;
      }
      wav.dataOffset = static_cast<int64_t>(at + 8);
      wav.dataSize = size;
      return wav;
    }
    // Chunks are padded to an even size.
    const uint64_t skip = 8 + uint64_t(size) + (size & 1);
    if (skip > head.size() - at) break;
    at += static_cast<size_t>(skip);
  }
  wav.problem = haveFormat ? "has no \"data\" chunk" : "has no \"fmt \" chunk";
  return wav;
}

}  // namespace sp::tool
