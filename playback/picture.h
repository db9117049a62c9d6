#pragma once

#include <cstdint>

namespace sp {

class Bitmap;
class Canvas;
class Icon;
class PlaybackForm;
struct CaptionStyle;
struct CaptionValues;

// A float or double pixel coordinate as an int, truncated toward zero and
// held far enough inside int's range that adding a cursor's size to it
// cannot overflow.
int TruncToPixel(double value);

// The cursor's way through one frame: from the frame's own position (tick
// 0) toward the next frame's, in recorded-screen pixels.
struct CursorTrack {
  float fromX = 0;
  float fromY = 0;
  float toX = 0;
  float toY = 0;
  int32_t ticksPerFrame = 1;
};

// What an unscaled presentation draws on: the shown picture, the pixels
// saved under the drawn cursor, and the cursor's picture.
struct CursorLayer {
  Bitmap& picture;
  Bitmap& background;
  const Icon& icon;
};

// The caption style as a playback keeps it. Styles are only ever added.
void TakeCaptionStyle(CaptionValues& caption, const CaptionStyle& style);
// The playback's caption font, set once on the canvas of its frame bitmap.
void SetCaptionFont(Canvas& canvas, const CaptionValues& caption);
// The caption on `frame` in the font its canvas holds, when there is one.
void DrawCaption(Bitmap& frame, const CaptionValues& caption);

// `frame` at (0, 0), then the cursor at the track's tick 0 with the pixels
// under it saved.
void PresentUnscaled(const Bitmap& frame, const CursorTrack& track, CursorLayer& layer);
// Tick j of a frame (1 .. ticksPerFrame - 1): moves the drawn cursor from
// P(j - 1) to P(j), restoring the pixels under its old place.
void StepCursor(const CursorTrack& track, CursorLayer& layer, int j);
// True when step j changes nothing on a picture of width x height: the
// cursor lies wholly outside it before and after, or stays on the same
// pixel with a save that is no stretch (its place has no negative
// fraction). Such steps can be left out of a replay of many steps.
bool CursorStepIsIdle(const CursorTrack& track, int j, int width, int height, int cursorSide);
// The last of a run of idle steps that begins at j (j - 1 when step j is
// not idle), at most `last`: a frame may last millions of ticks, and a
// replay jumps over such a run at once.
int LastIdleStep(const CursorTrack& track, int j, int last, int width, int height, int cursorSide);
// The last step from j on (at most `last`) at which the cursor is drawn at,
// and saved from, the same pixels as at step j.
int LastStepInPlace(const CursorTrack& track, int j, int last, int cursorSide);

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
