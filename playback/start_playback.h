#pragma once

namespace sp {

class TPlayForm;

inline constexpr const char* kCannotOpenPlayerText = "failed1";

// Starts a playback from the payload when FirstShow is set: expands and
// starts the sound, lays the picture out, shows frame 0 with its caption and
// cursor, and starts the clock.
void StartPlayback(TPlayForm& form);

// Frees FrameBitmap, CursorBackground, JpegImage, RecordingStream and
// JpegBuffer, in that order.
void ReleasePlayback(TPlayForm& form);

}  // namespace sp
