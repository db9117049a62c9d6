#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "payload/wav_samples.h"

struct sonicStreamStruct;

namespace sp::web {

// The sound track handed out in pieces as the page's audio asks for them:
// as floats, and at a speed other than 1 time-stretched by libsonic with the
// pitch kept, as selfplay-view plays it. The samples come on demand from
// `source`, so an hour of sound is never held whole.
class SoundReader {
 public:
  explicit SoundReader(std::unique_ptr<SampleSource> source);
  ~SoundReader();
  SoundReader(const SoundReader&) = delete;
  SoundReader& operator=(const SoundReader&) = delete;

  int Rate() const { return source_->Format().rate; }
  int Channels() const { return source_->Format().channels; }
  int64_t Frames() const { return source_->FrameCount(); }
  SampleSource& Source() { return *source_; }

  // Up to `count` output frames from source frame `first` at `speed`; see
  // sp_sound_read.
  int Read(int64_t first, int count, float* out, double speed);
  // The source frame the next Read continues from.
  int64_t Next() const { return next_; }

 private:
  int ReadStraight(int64_t first, int count, float* out);
  int ReadStretched(int64_t first, int count, float* out, double speed);
  void ResetStretcher(double speed);

  std::unique_ptr<SampleSource> source_;
  std::vector<int16_t> buffer_;
  sonicStreamStruct* stretcher_ = nullptr;
  double stretcherSpeed_ = 0;
  int64_t next_ = 0;
  bool flushed_ = false;
};

}  // namespace sp::web
