#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "payload/code_tree.h"
#include "payload/layout.h"

namespace sp::tool {

// What the RIFF WAVE header at the start of the expanded sound says.
struct WavFormat {
  std::string problem;  // empty when the header reads as a WAVE file
  uint16_t formatTag = 0;
  uint16_t channels = 0;
  uint32_t sampleRate = 0;
  uint32_t byteRate = 0;
  uint16_t blockAlign = 0;
  uint16_t bitsPerSample = 0;
  uint32_t riffSize = 0;
  int64_t dataOffset = 0;  // within the WAV file
  uint32_t dataSize = 0;   // as the "data" chunk declares it
  double DurationSeconds() const { return byteRate ? double(dataSize) / byteRate : 0.0; }
  std::string FormatName() const;  // "PCM", or the tag in hex
};

// head: the first bytes of the WAV file (enough to hold its chunk headers).
WavFormat ParseWavHeader(std::span<const uint8_t> head);

}  // namespace sp::tool
