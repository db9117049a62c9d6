#pragma once

namespace sp {

class PlaybackForm;

// One tick of the frame clock: a cursor step, or on every TicksPerFrame-th
// tick the next frame record, and after the last frame the end of the
// recording (close, loop, or stay on the last frame).
void PlayTick(PlaybackForm& form);

}  // namespace sp
