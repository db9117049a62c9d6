#pragma once

#include <cstdint>
#include <string>

#include "payload/c_file.h"

namespace sp {

class PlaybackForm;

enum class SoundWait { kNoWait, kWait };

// The player's messages about the sound track.
inline constexpr const char* kCannotCreateSoundText = "failed2";
inline constexpr const char* kSoundReadFailedText = "读取声音失败";
inline constexpr const char* kSoundOpenFailedText = "打开声音设备失败";
inline constexpr const char* kSoundPlayFailedText = "播放声音失败";

// The temporary directory followed by "vexa.wav".
std::string SoundFilePath(const PlaybackForm& form);

// The playback start's sound step, for a recording with a sound track: `in`
// stands just behind the lead word and is closed here. Expands the track
// into the temporary file and starts it; every failure is reported and
// leaves a silent playback.
void StartSoundTrack(PlaybackForm& form, CFile& in, uint32_t videoOffset);

// Opens `path` on the waveaudio device and plays it from its start. On
// success the device belongs to the playback (HasSound, SoundDevice).
void SoundStart(PlaybackForm& form, const std::string& path);

// Closes the playback's device, if it has one.
void SoundStop(PlaybackForm& form, SoundWait wait);

}  // namespace sp
