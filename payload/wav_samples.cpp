#include "payload/wav_samples.h"

#include <algorithm>
#include <cstring>

#include "payload/little_endian.h"

namespace sp {

WavLayout ParseWavLayout(std::span<const uint8_t> wav, WavBytes whole) {
  WavLayout layout;
  const WavLayout::Status shortOf =
      whole == WavBytes::kWhole ? WavLayout::Status::kNotPcm : WavLayout::Status::kNeedsMore;
  if (wav.size() < 12) {
    layout.status = shortOf;
    if (wav.size() >= 4 && std::memcmp(wav.data(), "RIFF", 4) != 0) layout.status = WavLayout::Status::kNotPcm;
    return layout;
  }
  if (std::memcmp(wav.data(), "RIFF", 4) != 0 || std::memcmp(wav.data() + 8, "WAVE", 4) != 0) {
    layout.status = WavLayout::Status::kNotPcm;
    return layout;
  }
  int format = 0;
  SoundFormat f;
  size_t at = 12;
  while (at + 8 <= wav.size()) {
    const uint32_t size = LoadLittleEndian<uint32_t>(wav.data() + at + 4);
    const uint8_t* body = wav.data() + at + 8;
    const size_t have = std::min<size_t>(size, wav.size() - at - 8);
    if (std::memcmp(wav.data() + at, "fmt ", 4) == 0 && size >= 16 && have < 16) break;
    if (std::memcmp(wav.data() + at, "fmt ", 4) == 0 && have >= 16) {
      format = LoadLittleEndian<uint16_t>(body);
      f.channels = LoadLittleEndian<uint16_t>(body + 2);
      f.rate = static_cast<int>(LoadLittleEndian<uint32_t>(body + 4));
      f.bits = LoadLittleEndian<uint16_t>(body + 14);
    } else if (std::memcmp(wav.data() + at, "data", 4) == 0) {
      const bool pcm = format == 1 && f.channels >= 1 && f.channels <= 8 && f.rate >= 1000 &&
                       f.rate <= 384000 && (f.bits == 8 || f.bits == 16);
      layout.status = pcm ? WavLayout::Status::kPcm : WavLayout::Status::kNotPcm;
      layout.format = f;
      layout.dataOffset = static_cast<int64_t>(at + 8);
      layout.dataSize = size;
      return layout;
    }
    if (size > wav.size() - at - 8) break;
    at += 8 + size + (size & 1);
  }
  layout.status = shortOf;
  return layout;
}

void ConvertWavSamples(const SoundFormat& format, const uint8_t* data, int64_t frames, int16_t* out) {
  const size_t count = static_cast<size_t>(frames) * static_cast<size_t>(format.channels);
  if (format.bits == 8) {
    for (size_t i = 0; i < count; ++i) out[i] = static_cast<int16_t>((data[i] - 128) * 256);
  } else {
    for (size_t i = 0; i < count; ++i) out[i] = LoadLittleEndian<int16_t>(data + 2 * i);
  }
}

bool DecodeWavSamples(const std::vector<uint8_t>& wav, WavSamples* out) {
  const WavLayout layout = ParseWavLayout(wav, WavBytes::kWhole);
  if (layout.status != WavLayout::Status::kPcm) return false;
  const size_t have = std::min<size_t>(layout.dataSize, wav.size() - static_cast<size_t>(layout.dataOffset));
  const int64_t frames = static_cast<int64_t>(have / static_cast<size_t>(layout.format.FrameBytes()));
  out->samples.resize(static_cast<size_t>(frames) * layout.format.channels);
  ConvertWavSamples(layout.format, wav.data() + layout.dataOffset, frames, out->samples.data());
  out->channels = layout.format.channels;
  out->rate = layout.format.rate;
  return true;
}

int64_t WavSampleSource::ReadSamples(int64_t firstFrame, int count, int16_t* out) {
  const int channels = std::max(1, samples_.channels);
  std::fill(out, out + static_cast<size_t>(count) * channels, int16_t{0});
  const int64_t from = std::max<int64_t>(firstFrame, 0);
  const int64_t to = std::min<int64_t>(firstFrame + count, FrameCount());
  if (from >= to) return 0;
  std::copy(samples_.samples.begin() + from * channels, samples_.samples.begin() + to * channels,
            out + (from - firstFrame) * channels);
  return to - from;
}

}  // namespace sp
