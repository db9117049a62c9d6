#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace sp {

// The "waveaudio" device on SDL2's audio output: each open device holds one
// WAV file's samples and an output device opened with the file's own
// format (SDL converts to what the hardware takes).
class WaveAudio {
 public:
  WaveAudio() = default;
  ~WaveAudio();
  WaveAudio(const WaveAudio&) = delete;
  WaveAudio& operator=(const WaveAudio&) = delete;

  // Results as the multimedia API has them: 0 is success.
  uint32_t Open(const std::string& path, uint32_t* deviceId);
  // `from` is in milliseconds; the samples from there on play in the background.
  uint32_t PlayFrom(uint32_t deviceId, uint32_t from);
  // Stops and frees the device.
  uint32_t Close(uint32_t deviceId);

  static constexpr uint32_t kInvalidDeviceId = 257;  // MCIERR_INVALID_DEVICE_ID
  static constexpr uint32_t kFileNotFound = 275;     // MCIERR_FILE_NOT_FOUND
  static constexpr uint32_t kCannotOpenDevice = 263; // MCIERR_DEVICE_OPEN
  static constexpr uint32_t kOutOfRange = 262;       // MCIERR_OUTOFRANGE

 private:
  struct Device {
    uint32_t output = 0;  // SDL_AudioDeviceID
    uint8_t* samples = nullptr;
    uint32_t length = 0;  // bytes
    uint32_t bytesPerSecond = 0;
    uint32_t frameBytes = 1;
  };

  bool EnsureAudio();

  bool audioInitialised_ = false;
  uint32_t lastId_ = 0;
  std::map<uint32_t, Device> devices_;
};

}  // namespace sp
