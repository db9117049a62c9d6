#pragma once

#include <cstdint>
#include <vector>

#include "payload/wav_samples.h"

struct sonicStreamStruct;

namespace sp::web {

// The sound track handed out in pieces as the page's audio asks for them:
// as floats, and at a speed other than 1 time-stretched by libsonic with the
// pitch kept, as selfplay-view plays it.
class SoundReader {
 public:
  explicit SoundReader(WavSamples samples);
  ~SoundReader();
  SoundReader(const SoundReader&) = delete;
  SoundReader& operator=(const SoundReader&) = delete;

  int Rate() const { return samples_.rate; }
  int Channels() const { return samples_.channels; }
  int64_t Frames() const { return samples_.Frames(); }
  const WavSamples& Samples() const { return samples_; }

  // Up to `count` output frames from source frame `first` at `speed`; see
  // sp_sound_read.
  int Read(int64_t first, int count, float* out, double speed);
  // The source frame the next Read continues from.
  int64_t Next() const { return next_; }

 private:
  int ReadStraight(int64_t first, int count, float* out);
  int ReadStretched(int64_t first, int count, float* out, double speed);
  void ResetStretcher(double speed);

  WavSamples samples_;
  sonicStreamStruct* stretcher_ = nullptr;
  double stretcherSpeed_ = 0;
  int64_t next_ = 0;
  bool flushed_ = false;
};

}  // namespace sp::web
