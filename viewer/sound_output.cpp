#include "viewer/sound_output.h"

#include <SDL.h>
#include <sonic.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "payload/little_endian.h"

namespace sp::view {

namespace {

// How far the sound may stand from the picture before it is moved back in
// step; below the 40 ms that the ear takes for "in step".
constexpr double kResyncMilliseconds = 30;
constexpr int kChunkFrames = 256;

}  // namespace

bool DecodeWav(const std::vector<uint8_t>& wav, std::vector<int16_t>* samples, int* channels,
               int* rate) {
  if (wav.size() < 12 || std::memcmp(wav.data(), "RIFF", 4) != 0 ||
      std::memcmp(wav.data() + 8, "WAVE", 4) != 0) {
    return false;
  }
  int format = 0;
  int bits = 0;
  *channels = 0;
  *rate = 0;
  size_t at = 12;
  while (at + 8 <= wav.size()) {
    const uint32_t size = LoadLittleEndian<uint32_t>(wav.data() + at + 4);
    const uint8_t* body = wav.data() + at + 8;
    // A chunk cut by the end of the file holds what is left.
    const size_t have = std::min<size_t>(size, wav.size() - at - 8);
    if (std::memcmp(wav.data() + at, "fmt ", 4) == 0 && have >= 16) {
      format = LoadLittleEndian<uint16_t>(body);
      *channels = LoadLittleEndian<uint16_t>(body + 2);
      *rate = static_cast<int>(LoadLittleEndian<uint32_t>(body + 4));
      bits = LoadLittleEndian<uint16_t>(body + 14);
    } else if (std::memcmp(wav.data() + at, "data", 4) == 0) {
      if (format != 1 || *channels < 1 || *channels > 8 || *rate < 1000 || *rate > 384000 ||
          (bits != 8 && bits != 16)) {
        return false;
      }
      const size_t bytesPerSample = bits / 8;
      const size_t count = have / bytesPerSample / *channels * *channels;
      samples->resize(count);
      for (size_t i = 0; i < count; ++i) {
        (*samples)[i] = bits == 8 ? static_cast<int16_t>((body[i] - 128) << 8)
                                  : LoadLittleEndian<int16_t>(body + 2 * i);
      }
      return true;
    }
    at += 8 + size + (size & 1);
    if (size > wav.size()) break;
  }
  return false;
}

SoundOutput::~SoundOutput() { Close(); }

bool SoundOutput::Open(const std::vector<uint8_t>& wav, std::string* why) {
  Close();
  if (!DecodeWav(wav, &samples_, &channels_, &rate_)) {
    *why = "the sound track is no PCM WAV file";
    return false;
  }
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
  chunk_.resize(static_cast<size_t>(kChunkFrames) * channels_);
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

void SoundOutput::CopyInput(int16_t* out, int64_t from, int frames) const {
  const int64_t total = static_cast<int64_t>(samples_.size()) / channels_;
  for (int i = 0; i < frames; ++i) {
    const int64_t frame = from + i;
    for (int c = 0; c < channels_; ++c) {
      out[i * channels_ + c] =
          frame >= 0 && frame < total ? samples_[static_cast<size_t>(frame * channels_ + c)] : 0;
    }
  }
}

void SoundOutput::Resync(double frame) {
  position_ = frame;
  if (sonic_) {
    sonicDestroyStream(sonic_);
    sonic_ = nullptr;
  }
}

void SoundOutput::Fill(int16_t* out, int frames) {
  std::lock_guard lock(mutex_);
  // This buffer is heard once the one playing now has run out.
  const auto heard = MediaClock::Steady::now() +
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
  // Input consumed but not yet given out, held inside the stretcher.
  const double held = sonic_ ? sonicSamplesAvailable(sonic_) * stretchSpeed_ : 0;
  if (generation != generation_ || speed != stretchSpeed_ ||
      std::abs(position_ - held - expected) > kResyncMilliseconds * rate_ / 1000.0) {
    generation_ = generation;
    Resync(expected);
    stretchSpeed_ = speed;
  }
  heardFrom_ = position_ - (sonic_ ? sonicSamplesAvailable(sonic_) * stretchSpeed_ : 0);

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
