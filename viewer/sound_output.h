#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "payload/wav_samples.h"
#include "viewer/media_clock.h"

struct sonicStreamStruct;

namespace sp::view {

// The recording's sound track (a PCM WAV file) on SDL2's audio output. It
// does not keep its own time: each buffer it fills is taken from where the
// media clock will be when the buffer is heard, so that the sound follows
// the picture through pauses, seeks and speed changes; at other speeds
// than 1x libsonic stretches it and keeps speech at its pitch.
class SoundOutput {
 public:
  explicit SoundOutput(const MediaClock& clock) : clock_(clock) {}
  ~SoundOutput();
  SoundOutput(const SoundOutput&) = delete;
  SoundOutput& operator=(const SoundOutput&) = delete;

  // Takes the samples, which from then on are read only by the output's
  // callback (a source that expands on demand holds none of them). False,
  // with the reason, when there are no samples or no output device opens;
  // the viewer then plays without sound.
  bool Open(std::unique_ptr<SampleSource> sound, std::string* why);
  bool Open(WavSamples sound, std::string* why);
  // Takes the samples without an output device, for tests that call Fill
  // themselves; bufferFrames is the device buffer's length it assumes.
  void Prepare(std::unique_ptr<SampleSource> sound, int bufferFrames);
  void Prepare(WavSamples sound, int bufferFrames);
  // The callback's work: `frames` frames of output for the buffer that is
  // heard next, taken from where the clock will then stand.
  void Fill(int16_t* out, int frames);
  void Close();
  bool IsOpen() const { return device_ != 0; }

  void SetVolume(float volume);  // 0 .. 1
  void SetMuted(bool muted);
  // Where the sound stands, in the recording's milliseconds: what the last
  // buffer began with. For tests and the status line.
  double PositionMilliseconds() const;
  int SampleRate() const { return rate_; }

 private:
  static void Callback(void* self, uint8_t* stream, int bytes);
  void Resync(double frame);
  void CopyInput(int16_t* out, int64_t from, int frames);

  const MediaClock& clock_;
  uint32_t device_ = 0;  // SDL_AudioDeviceID
  std::unique_ptr<SampleSource> samples_;  // read by the callback only, once open
  int channels_ = 1;
  int rate_ = 0;
  int bufferFrames_ = 0;

  // Touched by the callback; the GUI thread sets volume and mute under the lock.
  mutable std::mutex mutex_;
  float volume_ = 1.0f;
  bool muted_ = false;
  double position_ = 0;  // input frame the next output sample comes from
  double heardFrom_ = 0;  // input frame the last buffer began with
  double resyncFrom_ = 0;  // input frame at the last resynchronisation
  int64_t emitted_ = 0;   // output frames since then
  uint64_t generation_ = ~uint64_t{0};
  double stretchSpeed_ = 1.0;
  sonicStreamStruct* sonic_ = nullptr;
  std::vector<int16_t> chunk_;
};

}  // namespace sp::view
