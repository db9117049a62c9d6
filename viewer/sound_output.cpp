#include "viewer/sound_output.h"

#include <SDL.h>
#include <sonic.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "payload/wav_samples.h"

namespace sp::view {

namespace {

// How far the sound may stand from the picture before it is moved back in
// step; below the 40 ms that the ear takes for "in step".
constexpr double kResyncMilliseconds = 30;
constexpr int kChunkFrames = 64;

}  // namespace

SoundOutput::~SoundOutput() { Close(); }

void SoundOutput::Prepare(std::unique_ptr<SampleSource> sound, int bufferFrames) {
  Close();
  const SoundFormat format = sound->Format();
  samples_ = std::move(sound);
  channels_ = std::max(1, format.channels);
  rate_ = std::max(1, format.rate);
  bufferFrames_ = bufferFrames;
  chunk_.resize(static_cast<size_t>(kChunkFrames) * channels_);
}

void SoundOutput::Prepare(WavSamples sound, int bufferFrames) {
  Prepare(std::make_unique<WavSampleSource>(std::move(sound)), bufferFrames);
}

bool SoundOutput::Open(WavSamples sound, std::string* why) {
  return Open(std::make_unique<WavSampleSource>(std::move(sound)), why);
}

bool SoundOutput::Open(std::unique_ptr<SampleSource> sound, std::string* why) {
  Close();
  if (!sound || sound->Format().channels < 1 || sound->Format().rate < 1) {
    *why = "the sound track is no PCM WAV file";
    return false;
  }
  Prepare(std::move(sound), 0);
  // Qt owns the process's signals: SDL must not take SIGINT and SIGTERM.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (!SDL_WasInit(SDL_INIT_AUDIO) && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    *why = std::string("no sound output: ") + SDL_GetError();
    return false;
  }
  SDL_AudioSpec want{};
  want.freq = rate_;
  want.format = AUDIO_S16SYS;
  want.channels = static_cast<Uint8>(channels_);
  // About 23 ms at 11,025 Hz: the sound answers a seek quickly.
  want.samples = static_cast<Uint16>(std::clamp(rate_ / 40, 128, 2048));
  want.callback = &SoundOutput::Callback;
  want.userdata = this;
  SDL_AudioSpec have{};
  device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (device_ == 0) {
    *why = std::string("no sound output: ") + SDL_GetError();
    return false;
  }
  bufferFrames_ = have.samples;
  SDL_PauseAudioDevice(device_, 0);
  return true;
}

void SoundOutput::Close() {
  if (device_ != 0) {
    SDL_CloseAudioDevice(device_);
    device_ = 0;
  }
  if (sonic_) {
    sonicDestroyStream(sonic_);
    sonic_ = nullptr;
  }
}

void SoundOutput::SetVolume(float volume) {
  std::lock_guard lock(mutex_);
  volume_ = std::clamp(volume, 0.0f, 1.0f);
}

void SoundOutput::SetMuted(bool muted) {
  std::lock_guard lock(mutex_);
  muted_ = muted;
}

double SoundOutput::PositionMilliseconds() const {
  std::lock_guard lock(mutex_);
  return rate_ > 0 ? heardFrom_ * 1000.0 / rate_ : 0;
}

void SoundOutput::Callback(void* self, uint8_t* stream, int bytes) {
  auto* output = static_cast<SoundOutput*>(self);
  output->Fill(reinterpret_cast<int16_t*>(stream), bytes / 2 / output->channels_);
}

void SoundOutput::CopyInput(int16_t* out, int64_t from, int frames) {
  if (samples_) {
    samples_->ReadSamples(from, frames, out);
  } else {
    std::fill(out, out + static_cast<size_t>(frames) * channels_, int16_t{0});
  }
}

void SoundOutput::Resync(double frame) {
  position_ = frame;
  resyncFrom_ = frame;
  emitted_ = 0;
  if (sonic_) {
    sonicDestroyStream(sonic_);
    sonic_ = nullptr;
  }
}

void SoundOutput::Fill(int16_t* out, int frames) {
  std::lock_guard lock(mutex_);
  // This buffer is heard once the one playing now has run out.
  const auto heard = clock_.TimeNow() +
                     std::chrono::microseconds(int64_t{bufferFrames_} * 1'000'000 / rate_);
  const double expected = clock_.At(heard) * rate_ / 1000.0;
  const double speed = clock_.Speed();
  const uint64_t generation = clock_.Generation();
  if (clock_.Paused()) {
    std::fill(out, out + static_cast<size_t>(frames) * channels_, int16_t{0});
    generation_ = generation;
    Resync(expected);
    heardFrom_ = expected;
    return;
  }
  // Where the output stands on the recording's time line: the stretcher
  // gives out `speed` input frames' worth of time for each frame it emits.
  const double standing = resyncFrom_ + emitted_ * stretchSpeed_;
  if (generation != generation_ || speed != stretchSpeed_ ||
      std::abs(standing - expected) > kResyncMilliseconds * rate_ / 1000.0) {
    generation_ = generation;
    Resync(expected);
    stretchSpeed_ = speed;
  }
  heardFrom_ = resyncFrom_ + emitted_ * stretchSpeed_;
  emitted_ += frames;

  if (speed == 1.0) {
    CopyInput(out, static_cast<int64_t>(std::floor(position_)), frames);
    position_ += frames;
  } else {
    if (!sonic_) {
      sonic_ = sonicCreateStream(rate_, channels_);
      sonicSetSpeed(sonic_, static_cast<float>(speed));
    }
    int given = 0;
    while (given < frames) {
      const int got = sonicReadShortFromStream(sonic_, out + given * channels_, frames - given);
      given += got;
      if (given >= frames) break;
      CopyInput(chunk_.data(), static_cast<int64_t>(std::floor(position_)), kChunkFrames);
      sonicWriteShortToStream(sonic_, chunk_.data(), kChunkFrames);
      position_ += kChunkFrames;
    }
  }
  const float gain = muted_ ? 0.0f : volume_;
  if (gain != 1.0f) {
    for (int i = 0; i < frames * channels_; ++i) {
      out[i] = static_cast<int16_t>(std::lround(out[i] * gain));
    }
  }
}

}  // namespace sp::view
