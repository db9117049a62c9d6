#pragma once

#include <cstdint>
#include <vector>

namespace sp {

// The samples of an expanded sound track: a PCM WAV file of 8 or 16 bits
// and any channel count, as signed 16-bit samples, channels interleaved.
struct WavSamples {
  std::vector<int16_t> samples;
  int channels = 0;
  int rate = 0;  // frames per second

  int64_t Frames() const { return channels > 0 ? static_cast<int64_t>(samples.size()) / channels : 0; }
};

// False when `wav` is no such file. A data chunk cut by the end of the
// file gives the samples that are there.
bool DecodeWavSamples(const std::vector<uint8_t>& wav, WavSamples* out);

}  // namespace sp
