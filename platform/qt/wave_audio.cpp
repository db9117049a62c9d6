#include "platform/qt/wave_audio.h"

#include <SDL.h>

namespace sp {

WaveAudio::~WaveAudio() {
  while (!devices_.empty()) Close(devices_.begin()->first);
  if (audioInitialised_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool WaveAudio::EnsureAudio() {
  if (!audioInitialised_) audioInitialised_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
  return audioInitialised_;
}

uint32_t WaveAudio::Open(const std::string& path, uint32_t* deviceId) {
  if (!EnsureAudio()) return kCannotOpenDevice;
  SDL_AudioSpec audio;
  Device device;
  if (SDL_LoadWAV(path.c_str(), &audio, &device.samples, &device.length) == nullptr) {
    return kFileNotFound;
  }
  audio.callback = nullptr;  // samples are queued, not pulled
  audio.userdata = nullptr;
  device.output = SDL_OpenAudioDevice(nullptr, 0, &audio, nullptr, 0);
  if (device.output == 0) {
    SDL_FreeWAV(device.samples);
    return kCannotOpenDevice;
  }
  device.frameBytes = (SDL_AUDIO_BITSIZE(audio.format) / 8) * audio.channels;
  if (device.frameBytes == 0) device.frameBytes = 1;
  device.bytesPerSecond = device.frameBytes * static_cast<uint32_t>(audio.freq);
  const uint32_t id = ++lastId_;
  devices_[id] = device;
  if (deviceId != nullptr) *deviceId = id;
  return 0;
}

uint32_t WaveAudio::PlayFrom(uint32_t deviceId, uint32_t from) {
  auto it = devices_.find(deviceId);
  if (it == devices_.end()) return kInvalidDeviceId;
  Device& d = it->second;
  const uint64_t start =
      static_cast<uint64_t>(from) * d.bytesPerSecond / 1000 / d.frameBytes * d.frameBytes;
  if (start > d.length) return kOutOfRange;
  SDL_PauseAudioDevice(d.output, 1);
  SDL_ClearQueuedAudio(d.output);
  if (SDL_QueueAudio(d.output, d.samples + start, d.length - static_cast<uint32_t>(start)) != 0) {
    return kCannotOpenDevice;
  }
  SDL_PauseAudioDevice(d.output, 0);
  return 0;
}

uint32_t WaveAudio::Close(uint32_t deviceId) {
  auto it = devices_.find(deviceId);
  if (it == devices_.end()) return kInvalidDeviceId;
  SDL_CloseAudioDevice(it->second.output);
  SDL_FreeWAV(it->second.samples);
  devices_.erase(it);
  return 0;
}

}  // namespace sp
