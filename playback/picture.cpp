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

namespace {

// The largest e in [from, last] for which holds(e), given holds(from) and
// that holds is true up to some point and false after it.
template <class Holds>
int LastHolding(int from, int last, Holds holds) {
  while (from < last) {
    const int middle = from + (last - from + 1) / 2;
    if (holds(middle)) {
      from = middle;
    } else {
      last = middle - 1;
    }
  }
  return from;
}

// Each coordinate of P(j) is monotone in j: every step of its arithmetic
// rounds monotonically. (A coordinate that is not finite is constant from
// step 1 on.) So a condition on truncated places that holds at two steps
// holds at every step between them.
struct PlaceAt {
  int x;
  int y;
  int right;
  int bottom;
  bool operator==(const PlaceAt&) const = default;
};

PlaceAt Place(const CursorTrack& track, int j, int cursorSide) {
  const CursorPoint p = CursorPath(track, j);
  return {TruncToPixel(p.x), TruncToPixel(p.y), TruncToPixel(cursorSide + p.x), TruncToPixel(cursorSide + p.y)};
}

}  // namespace

int LastIdleStep(const CursorTrack& track, int j, int last, int width, int height, int cursorSide) {
  if (j > last || !CursorStepIsIdle(track, j, width, height, cursorSide)) return j - 1;
  const CursorPoint a = CursorPath(track, j - 1);
  const PlaceAt from = Place(track, j - 1, cursorSide);
  // Steps j .. e are idle when places j - 1 and e lie beyond the same edge,
  // or on the same pixel with saves that are no stretch at both ends.
  auto idleTo = [&](int e) {
    const CursorPoint b = CursorPath(track, e);
    const PlaceAt to = Place(track, e, cursorSide);
    if ((from.x >= width && to.x >= width) || (from.y >= height && to.y >= height) ||
        (from.x <= -cursorSide && to.x <= -cursorSide) || (from.y <= -cursorSide && to.y <= -cursorSide)) {
      return true;
    }
    auto exact = [](double u, double v) { return (u >= 0 && v >= 0) || (u == v && u == std::trunc(u)); };
    return from.x == to.x && from.y == to.y && exact(a.x, b.x) && exact(a.y, b.y);
  };
  return LastHolding(j, last, idleTo);
}

int LastStepInPlace(const CursorTrack& track, int j, int last, int cursorSide) {
  const PlaceAt at = Place(track, j, cursorSide);
  return LastHolding(j, last, [&](int e) { return Place(track, e, cursorSide) == at; });
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
