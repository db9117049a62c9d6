#include "playback/picture.h"

#include <cmath>

#include "playback/playback_form.h"

namespace sp {

namespace {

// Far outside any bitmap (sides are at most 16384), and far from overflow.
constexpr double kPixelLimit = 1'000'000'000.0;

struct CursorPoint {
  double x;  // untruncated
  double y;
};

// P(j): difference, times j, divided by TicksPerFrame, plus the start.
CursorPoint CursorPath(const PlaybackForm& form, int j) {
  double x0 = form.CursorX;
  double y0 = form.CursorY;
  double x = (static_cast<double>(form.NextCursorX) - x0) * j / form.TicksPerFrame + x0;
  double y = (static_cast<double>(form.NextCursorY) - y0) * j / form.TicksPerFrame + y0;
  return {x, y};
}

// Copies the rectangle (x, y, trunc(w + X), trunc(h + Y)) of Image1 into
// (0, 0, w, h) of CursorBackground.
void SaveUnderCursor(PlaybackForm& form, CursorPoint at) {
  Bitmap& background = *form.CursorBackground;
  int w = background.Width();
  int h = background.Height();
  Rect source{TruncToPixel(at.x), TruncToPixel(at.y), TruncToPixel(w + at.x),
              TruncToPixel(h + at.y)};
  background.GetCanvas().CopyRect(Rect{0, 0, w, h}, form.Image1.picture.GetCanvas(), source);
}

void DrawCursor(PlaybackForm& form, CursorPoint at) {
  form.Image1.picture.GetCanvas().Draw(TruncToPixel(at.x), TruncToPixel(at.y), *form.CursorImage);
}

}  // namespace

int TruncToPixel(double value) {
  if (std::isnan(value)) return 0;
  if (value > kPixelLimit) value = kPixelLimit;
  if (value < -kPixelLimit) value = -kPixelLimit;
  return static_cast<int>(value);
}

void DrawCaption(PlaybackForm& form) {
  if (form.CaptionText.empty()) return;
  form.FrameBitmap->GetCanvas().TextOut(form.CaptionX, form.CaptionY, form.CaptionText);
}

void PresentFrame(PlaybackForm& form) {
  Canvas& canvas = form.Image1.picture.GetCanvas();
  if (form.StretchMode) {
    canvas.StretchDraw(Rect{0, 0, form.Image1.width, form.Image1.height}, *form.FrameBitmap);
    return;
  }
  canvas.Draw(0, 0, *form.FrameBitmap);
  CursorPoint at{form.CursorX, form.CursorY};
  SaveUnderCursor(form, at);
  DrawCursor(form, at);
}

void CursorStep(PlaybackForm& form, int j) {
  CursorPoint previous = CursorPath(form, j - 1);
  CursorPoint next = CursorPath(form, j);
  form.Image1.picture.GetCanvas().Draw(TruncToPixel(previous.x), TruncToPixel(previous.y),
                                       *form.CursorBackground);
  SaveUnderCursor(form, next);
  DrawCursor(form, next);
}

}  // namespace sp
