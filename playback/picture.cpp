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
CursorPoint CursorPath(const CursorTrack& track, int j) {
  double x0 = track.fromX;
  double y0 = track.fromY;
  double x = (static_cast<double>(track.toX) - x0) * j / track.ticksPerFrame + x0;
  double y = (static_cast<double>(track.toY) - y0) * j / track.ticksPerFrame + y0;
  return {x, y};
}

// Copies the rectangle (x, y, trunc(w + X), trunc(h + Y)) of the picture
// into (0, 0, w, h) of the background.
void SaveUnderCursor(CursorLayer& layer, CursorPoint at) {
  Bitmap& background = layer.background;
  int w = background.Width();
  int h = background.Height();
  Rect source{TruncToPixel(at.x), TruncToPixel(at.y), TruncToPixel(w + at.x),
              TruncToPixel(h + at.y)};
  background.GetCanvas().CopyRect(Rect{0, 0, w, h}, layer.picture.GetCanvas(), source);
}

void DrawCursor(CursorLayer& layer, CursorPoint at) {
  layer.picture.GetCanvas().Draw(TruncToPixel(at.x), TruncToPixel(at.y), layer.icon);
}

CursorTrack TrackOf(const PlaybackForm& form) {
  return {form.CursorX, form.CursorY, form.NextCursorX, form.NextCursorY, form.TicksPerFrame};
}

}  // namespace

int TruncToPixel(double value) {
  if (std::isnan(value)) return 0;
  if (value > kPixelLimit) value = kPixelLimit;
  if (value < -kPixelLimit) value = -kPixelLimit;
  return static_cast<int>(value);
}

void TakeCaptionStyle(CaptionValues& caption, const CaptionStyle& s) {
  caption.CaptionText = s.CaptionText;
  caption.CaptionX = s.CaptionX;
  caption.CaptionY = s.CaptionY;
  caption.CaptionFontSize = s.CaptionFontSize;
  caption.CaptionFontName = s.CaptionFontName;
  // The high byte of a COLORREF selects a palette; on a 32-bit surface only
  // the colour remains.
  caption.CaptionFontColor = s.CaptionFontColor & 0x00FFFFFF;
  if (s.CaptionBold == 1) caption.CaptionFontStyle |= kFontBold;
  if (s.CaptionItalic == 1) caption.CaptionFontStyle |= kFontItalic;
  if (s.CaptionUnderline == 1) caption.CaptionFontStyle |= kFontUnderline;
  if (s.CaptionStrikeOut == 1) caption.CaptionFontStyle |= kFontStrikeOut;
}

void SetCaptionFont(Canvas& canvas, const CaptionValues& caption) {
  canvas.brush.style = BrushStyle::Clear;
  canvas.font.size = caption.CaptionFontSize;
  if (!caption.CaptionFontName.empty()) canvas.font.name = caption.CaptionFontName;
  canvas.font.color = caption.CaptionFontColor;
  canvas.font.style = caption.CaptionFontStyle;
}

void DrawCaption(Bitmap& frame, const CaptionValues& caption) {
  if (caption.CaptionText.empty()) return;
  frame.GetCanvas().TextOut(caption.CaptionX, caption.CaptionY, caption.CaptionText);
}

void PresentUnscaled(const Bitmap& frame, const CursorTrack& track, CursorLayer& layer) {
  layer.picture.GetCanvas().Draw(0, 0, frame);
  CursorPoint at{track.fromX, track.fromY};
  SaveUnderCursor(layer, at);
  DrawCursor(layer, at);
}

void StepCursor(const CursorTrack& track, CursorLayer& layer, int j) {
  CursorPoint previous = CursorPath(track, j - 1);
  CursorPoint next = CursorPath(track, j);
  layer.picture.GetCanvas().Draw(TruncToPixel(previous.x), TruncToPixel(previous.y),
                                 layer.background);
  SaveUnderCursor(layer, next);
  DrawCursor(layer, next);
}

bool CursorStepIsIdle(const CursorTrack& track, int j, int width, int height, int cursorSide) {
  const CursorPoint before = CursorPath(track, j - 1);
  const CursorPoint after = CursorPath(track, j);
  auto outside = [&](CursorPoint p) {
    const int x = TruncToPixel(p.x);
    const int y = TruncToPixel(p.y);
    return x >= width || y >= height || x <= -cursorSide || y <= -cursorSide;
  };
  if (outside(before) && outside(after)) return true;
  auto exactSave = [](CursorPoint p) {
    return (p.x >= 0 || p.x == std::trunc(p.x)) && (p.y >= 0 || p.y == std::trunc(p.y));
  };
  return exactSave(before) && exactSave(after) && TruncToPixel(before.x) == TruncToPixel(after.x) &&
         TruncToPixel(before.y) == TruncToPixel(after.y);
}

void DrawCaption(PlaybackForm& form) { DrawCaption(*form.FrameBitmap, form); }

void PresentFrame(PlaybackForm& form) {
  if (form.StretchMode) {
    form.Image1.picture.GetCanvas().StretchDraw(Rect{0, 0, form.Image1.width, form.Image1.height},
                                                *form.FrameBitmap);
    return;
  }
  CursorLayer layer{form.Image1.picture, *form.CursorBackground, *form.CursorImage};
  PresentUnscaled(*form.FrameBitmap, TrackOf(form), layer);
}

void CursorStep(PlaybackForm& form, int j) {
  CursorLayer layer{form.Image1.picture, *form.CursorBackground, *form.CursorImage};
  StepCursor(TrackOf(form), layer, j);
}

}  // namespace sp
