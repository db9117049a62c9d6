#pragma once

#include "playback/sound_device.h"

namespace sp {

class Bitmap;
class PlaybackForm;

inline constexpr const char* kCannotOpenPlayerText = "failed1";

// Starts a playback from the payload when FirstShow is set: expands and
// starts the sound, lays the picture out, shows frame 0 with its caption and
// cursor, and starts the clock.
void StartPlayback(PlaybackForm& form);

// Frees FrameBitmap, CursorBackground, JpegImage, RecordingStream and
// JpegBuffer, in that order.
void ReleasePlayback(PlaybackForm& form);

// Stops what plays: the sound (waiting for the device or not), the picture
// and the clock. The picture shown stays.
void EndPlayback(PlaybackForm& form, SoundWait wait);

// The playback ended and starts again from frame 0: restart (N4Click, with
// the sound's close waited for) and the loop at the end of a recording.
void RestartPlayback(PlaybackForm& form, SoundWait wait);

// Ends a playback that met damage in its file: what it shows stays, the
// clock and the sound stop, and nothing but a restart plays again.
void StopPlaybackForDamage(PlaybackForm& form);

// Decodes the JPEG item in JpegBuffer into `into` with the playback's one
// decoder, and empties the buffer.
void DecodeImageItem(PlaybackForm& form, Bitmap& into);

}  // namespace sp
