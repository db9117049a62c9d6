#include "payload/wav_samples.h"

#include <algorithm>
#include <cstring>

#include "payload/little_endian.h"

namespace sp {

bool DecodeWavSamples(const std::vector<uint8_t>& wav, WavSamples* out) {
  if (wav.size() < 12 || std::memcmp(wav.data(), "RIFF", 4) != 0 ||
      std::memcmp(wav.data() + 8, "WAVE", 4) != 0) {
    return false;
  }
  int format = 0;
  int bits = 0;
  int channels = 0;
  int rate = 0;
  size_t at = 12;
  while (at + 8 <= wav.size()) {
    const uint32_t size = LoadLittleEndian<uint32_t>(wav.data() + at + 4);
    const uint8_t* body = wav.data() + at + 8;
    const size_t have = std::min<size_t>(size, wav.size() - at - 8);
    if (std::memcmp(wav.data() + at, "fmt ", 4) == 0 && have >= 16) {
      format = LoadLittleEndian<uint16_t>(body);
      channels = LoadLittleEndian<uint16_t>(body + 2);
      rate = static_cast<int>(LoadLittleEndian<uint32_t>(body + 4));
      bits = LoadLittleEndian<uint16_t>(body + 14);
    } else if (std::memcmp(wav.data() + at, "data", 4) == 0) {
      if (format != 1 || channels < 1 || channels > 8 || rate < 1000 || rate > 384000 ||
          (bits != 8 && bits != 16)) {
        return false;
      }
      const size_t bytesPerSample = static_cast<size_t>(bits / 8);
      const size_t count = have / bytesPerSample / channels * channels;
      out->samples.resize(count);
      for (size_t i = 0; i < count; ++i) {
        out->samples[i] = bits == 8 ? static_cast<int16_t>((body[i] - 128) * 256)
                                    : LoadLittleEndian<int16_t>(body + 2 * i);
      }
      out->channels = channels;
      out->rate = rate;
      return true;
    }
    if (size > wav.size() - at - 8) break;
    at += 8 + size + (size & 1);
  }
  return false;
}

}  // namespace sp
