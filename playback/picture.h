#pragma once

namespace sp {

class PlaybackForm;

// A float or double pixel coordinate as an int, truncated toward zero and
// held far enough inside int's range that adding a cursor's size to it
// cannot overflow.
int TruncToPixel(double value);

// The caption on FrameBitmap in the playback's font, when there is one.
void DrawCaption(PlaybackForm& form);

// Shows FrameBitmap on Image1: squeezed into it in StretchMode, else 1:1
// with the cursor drawn on top at (CursorX, CursorY) and the pixels under
// it saved in CursorBackground.
void PresentFrame(PlaybackForm& form);

// Tick j of the current frame (1 .. TicksPerFrame - 1): moves the drawn
// cursor from P(j - 1) to P(j), restoring the pixels under its old place.
void CursorStep(PlaybackForm& form, int j);

}  // namespace sp
