#include "web/engine/sound_reader.h"

#include <sonic.h>

#include <algorithm>
#include <cmath>

namespace sp::web {

namespace {
// Source frames handed to the stretcher at a time: a few milliseconds, so
// that a read gives back about what it asked for.
constexpr int kFeedFrames = 1024;
}  // namespace

SoundReader::SoundReader(std::unique_ptr<SampleSource> source) : source_(std::move(source)) {}

SoundReader::~SoundReader() {
  if (stretcher_) sonicDestroyStream(stretcher_);
}

int SoundReader::Read(int64_t first, int count, float* out, double speed) {
  if (Channels() <= 0 || Rate() <= 0 || count <= 0 || !std::isfinite(speed)) return 0;
  // More than a few seconds a read is no audio callback's; it would only
  // size buffers.
  count = std::min(count, 1 << 20);
  first = std::clamp<int64_t>(first, 0, Frames());
  speed = std::clamp(speed, 0.25, 8.0);
  if (speed == 1.0) {
    if (stretcher_) ResetStretcher(0);
    return ReadStraight(first, count, out);
  }
  return ReadStretched(first, count, out, speed);
}

int SoundReader::ReadStraight(int64_t first, int count, float* out) {
  const int n = static_cast<int>(std::min<int64_t>(count, Frames() - first));
  if (n <= 0) {
    next_ = first;
    return 0;
  }
  buffer_.resize(static_cast<size_t>(n) * Channels());
  source_->ReadSamples(first, n, buffer_.data());
  for (size_t i = 0; i < buffer_.size(); ++i) out[i] = buffer_[i] / 32768.0f;
  next_ = first + n;
  return n;
}

void SoundReader::ResetStretcher(double speed) {
  if (stretcher_) sonicDestroyStream(stretcher_);
  stretcher_ = nullptr;
  stretcherSpeed_ = 0;
  flushed_ = false;
  if (speed == 0) return;
  stretcher_ = sonicCreateStream(Rate(), Channels());
  sonicSetSpeed(stretcher_, static_cast<float>(speed));
  stretcherSpeed_ = speed;
}

int SoundReader::ReadStretched(int64_t first, int count, float* out, double speed) {
  // A read that does not follow the last one, or at another speed, starts
  // afresh: what the stretcher holds belongs to another place.
  if (!stretcher_ || first != next_ || speed != stretcherSpeed_) {
    ResetStretcher(speed);
    next_ = first;
  }
  if (!stretcher_) return 0;
  while (sonicSamplesAvailable(stretcher_) < count && !flushed_) {
    const int n = static_cast<int>(std::min<int64_t>(kFeedFrames, Frames() - next_));
    if (n <= 0) {
      sonicFlushStream(stretcher_);
      flushed_ = true;
      break;
    }
    buffer_.resize(static_cast<size_t>(n) * Channels());
    source_->ReadSamples(next_, n, buffer_.data());
    sonicWriteShortToStream(stretcher_, buffer_.data(), n);
    next_ += n;
  }
  return std::max(0, sonicReadFloatFromStream(stretcher_, out, count));
}

}  // namespace sp::web
