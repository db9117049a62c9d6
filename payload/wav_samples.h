#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace sp {

// The shape of the samples a sound track holds.
struct SoundFormat {
  int rate = 0;      // frames per second
  int channels = 0;
  int bits = 0;      // per sample: 8 (unsigned) or 16 (signed)

  int FrameBytes() const { return channels * bits / 8; }
};

// Sound samples by random access, as signed 16-bit values with the
// channels interleaved. Used from one thread at a time.
class SampleSource {
 public:
  virtual ~SampleSource() = default;
  virtual SoundFormat Format() const = 0;
  // Sample frames the sound holds (so far, while it is being indexed).
  virtual int64_t FrameCount() const = 0;
  // Frames firstFrame .. firstFrame + count - 1 into out, which holds
  // count * channels samples; frames outside the sound are silence (0).
  // Returns how many of them came from the sound.
  virtual int64_t ReadSamples(int64_t firstFrame, int count, int16_t* out) = 0;
};

// Where a PCM WAV file's samples lie, read from its first bytes.
struct WavLayout {
  enum class Status {
    kPcm,        // a PCM WAV file of 8 or 16 bits, 1 to 8 channels
    kNotPcm,     // no such file
    kNeedsMore,  // the bytes end before the "data" chunk's header
  };
  Status status = Status::kNeedsMore;
  SoundFormat format;
  int64_t dataOffset = 0;  // of the "data" chunk's first sample
  uint32_t dataSize = 0;   // as the chunk declares it
};

// `whole`: the bytes are the whole file, so running out of them means it is
// no such file rather than that more are needed.
enum class WavBytes { kBeginning, kWhole };
WavLayout ParseWavLayout(std::span<const uint8_t> bytes, WavBytes whole);

// Sample frame `frame` .. + count of the data chunk's bytes `data` (which
// begin at a frame) as 16-bit samples into out.
void ConvertWavSamples(const SoundFormat& format, const uint8_t* data, int64_t frames, int16_t* out);

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

// Samples held in memory, as a source.
class WavSampleSource : public SampleSource {
 public:
  explicit WavSampleSource(WavSamples samples) : samples_(std::move(samples)) {}
  SoundFormat Format() const override { return {samples_.rate, samples_.channels, 16}; }
  int64_t FrameCount() const override { return samples_.Frames(); }
  int64_t ReadSamples(int64_t firstFrame, int count, int16_t* out) override;

 private:
  WavSamples samples_;
};

}  // namespace sp
