#include "playback/cursor_presentation.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/canvas.h"
#include "platform/errors.h"
#include "playback/snapshot_cache.h"

namespace sp {

namespace {

// Past this many places one rectangle around them is as cheap.
constexpr size_t kMaxMarks = 64;

// P(j) has a negative coordinate with a fraction: the stub's save of the
// pixels under the cursor is then one pixel narrower (or lower) than the
// cursor and stretched, so pixels the save leaves untouched, kept from
// earlier ticks, come back on the screen when the cursor moves on.
bool StretchedSave(const CursorTrack& track, int upTo) {
  for (int j = 1; j <= upTo; ++j) {
    const double x = (static_cast<double>(track.toX) - track.fromX) * j / track.ticksPerFrame + track.fromX;
    const double y = (static_cast<double>(track.toY) - track.fromY) * j / track.ticksPerFrame + track.fromY;
    if ((x < 0 && x != std::trunc(x)) || (y < 0 && y != std::trunc(y))) return true;
  }
  return false;
}

}  // namespace

CursorPresentation::CursorPresentation(const RecordingIndex& index, Stream& file)
    : index_(index), file_(file) {
  background_.SetSize(kIconSize, kIconSize);
}

void CursorPresentation::LoadIcon(std::optional<int32_t> iconFrame) {
  if (iconFrame == loadedIcon_) return;
  const ImageItem item = !iconFrame        ? ImageItem{}
                         : *iconFrame == 0 ? index_.FirstIcon()
                                           : index_.Frames()[*iconFrame].icon;
  icon_ = Icon();
  loadedIcon_ = iconFrame;
  if (item.size <= 0) return;
  file_.Seek(item.offset, SeekOrigin::Begin);
  iconBuffer_.Clear();
  iconBuffer_.CopyFrom(file_, item.size);
  iconBuffer_.Seek(0, SeekOrigin::Begin);
  icon_.LoadFromStreamDeferred(iconBuffer_);
  try {
    icon_.Decode();
  } catch (const Error&) {
    // The stub stops at a cursor picture it cannot draw; the viewer shows
    // the frame without it.
    icon_ = Icon();
  }
}

CursorTrack CursorPresentation::TrackOf(int32_t frame) const {
  const IndexedFrame& f = index_.Frames()[frame];
  return {f.cursorX, f.cursorY, f.nextCursorX, f.nextCursorY, index_.Clock().TicksPerFrame()};
}

bool CursorPresentation::CursorInsideAtStart(int32_t frame) const {
  const IndexedFrame& f = index_.Frames()[frame];
  const int x = TruncToPixel(f.cursorX);
  const int y = TruncToPixel(f.cursorY);
  return x >= 0 && y >= 0 && x + kIconSize <= Width() && y + kIconSize <= Height();
}

void CursorPresentation::PresentAt(const Bitmap& frameBitmap, int32_t frame, int steps, const Icon& icon) {
  shown_.reset();
  presented_.reset();
  if (picture_.Width() != Width() || picture_.Height() != Height() ||
      frameBitmap.Width() < Width() || frameBitmap.Height() < Height()) {
    // Where the frame bitmap does not reach, the window's picture stays white.
    picture_.SetSize(0, 0);
    picture_.SetSize(Width(), Height());
  }
  const CursorTrack track = TrackOf(frame);
  CursorLayer layer{picture_, background_, icon};
  PresentUnscaled(frameBitmap, track, layer);
  cursorMarks_.clear();
  MarkCursor(frame, 0);
  // A frame may last millions of ticks; only the steps that change the
  // picture are drawn.
  for (int step = 1; step <= steps; ++step) {
    step = LastIdleStep(track, step, steps, picture_.Width(), picture_.Height(), kIconSize) + 1;
    if (step > steps) break;
    const bool inPlace = LastStepInPlace(track, step - 1, step, kIconSize) == step;
    if (inPlace) CopyPixels(background_, backgroundBefore_);
    StepCursor(track, layer, step);
    MarkCursor(frame, step);
    // A step in place that saved what it restored leaves the picture and
    // the saved pixels as they were, and so does every step after it in the
    // same place.
    if (inPlace && SamePixels(background_, backgroundBefore_)) {
      step = LastStepInPlace(track, step, steps, kIconSize);
    }
  }
}

void CursorPresentation::StepOn(int32_t frame, int steps) {
  CursorLayer layer{picture_, background_, icon_};
  StepCursor(TrackOf(frame), layer, steps);
  MarkCursor(frame, steps);
}

void CursorPresentation::MarkCursor(int32_t frame, int step) {
  // P(step) as the cursor's path computes it, with a pixel of margin:
  // copying more of the frame bitmap than was touched is harmless.
  const IndexedFrame& f = index_.Frames()[frame];
  const int32_t ticksPerFrame = index_.Clock().TicksPerFrame();
  const double x0 = f.cursorX;
  const double y0 = f.cursorY;
  const int x = TruncToPixel((static_cast<double>(f.nextCursorX) - x0) * step / ticksPerFrame + x0);
  const int y = TruncToPixel((static_cast<double>(f.nextCursorY) - y0) * step / ticksPerFrame + y0);
  Rect mark{x - 1, y - 1, x + kIconSize + 1, y + kIconSize + 1};
  if (cursorMarks_.size() >= kMaxMarks) {
    // A long frame clock: one rectangle around all of them.
    for (const Rect& r : cursorMarks_) {
      mark = {std::min(mark.left, r.left), std::min(mark.top, r.top), std::max(mark.right, r.right),
              std::max(mark.bottom, r.bottom)};
    }
    cursorMarks_.clear();
  }
  cursorMarks_.push_back(mark);
}

bool CursorPresentation::CanPresentChanges(const Bitmap& frameBitmap) const {
  return picture_.Width() == Width() && picture_.Height() == Height() && frameBitmap.Width() >= Width() &&
         frameBitmap.Height() >= Height();
}

void CursorPresentation::PresentChanges(const Bitmap& frameBitmap, std::span<const Rect> changed,
                                        int32_t frame) {
  shown_.reset();
  const int width = Width();
  const int height = Height();
  auto copy = [&](const Rect& r) {
    const Rect c{std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, width), std::min(r.bottom, height)};
    if (c.right <= c.left || c.bottom <= c.top) return;
    const size_t n = static_cast<size_t>(c.right - c.left) * sizeof(Pixel);
    for (int y = c.top; y < c.bottom; ++y) {
      std::memcpy(picture_.Data() + static_cast<size_t>(y) * width + c.left,
                  frameBitmap.Data() + static_cast<size_t>(y) * frameBitmap.Width() + c.left, n);
    }
    picture_.MarkDirty(c);
  };
  for (const Rect& r : changed) copy(r);
  for (const Rect& r : cursorMarks_) copy(r);
  // The picture now equals the frame bitmap; the cursor at tick 0 as
  // PresentUnscaled draws it: the pixels under it saved, then the cursor.
  const IndexedFrame& f = index_.Frames()[frame];
  const double x = f.cursorX;
  const double y = f.cursorY;
  const int w = background_.Width();
  const int h = background_.Height();
  background_.GetCanvas().CopyRect(Rect{0, 0, w, h}, picture_.GetCanvas(),
                                   Rect{TruncToPixel(x), TruncToPixel(y), TruncToPixel(w + x), TruncToPixel(h + y)});
  picture_.GetCanvas().Draw(TruncToPixel(x), TruncToPixel(y), icon_);
  cursorMarks_.clear();
  MarkCursor(frame, 0);
}

bool CursorPresentation::NeedsEarlierBackground(int32_t frame, int steps) const {
  return steps > 0 && !CursorInsideAtStart(frame) && StretchedSave(TrackOf(frame), steps);
}

int32_t CursorPresentation::ReplayFrom(int32_t frame) {
  // The pixels saved under the cursor carry over from frame to frame, and
  // the ones outside the picture are kept from earlier frames.
  // Frame 0 itself starts from the stub's first background, whatever an
  // earlier present left in ours.
  int32_t from = frame - 1;
  while (from > 0 && !CursorInsideAtStart(from)) --from;
  if (from < 0 || !CursorInsideAtStart(from)) {
    background_.SetSize(0, 0);
    background_.SetSize(kIconSize, kIconSize);  // white, as the stub makes it
    from = std::max(from, 0);
  }
  return from;
}

bool CursorPresentation::RestoreBackgroundOf(int32_t frame) {
  if (backgroundStart_ != frame) return false;
  CopyPixels(frameStartBackground_, background_);
  return true;
}

void CursorPresentation::KeepBackgroundOf(int32_t frame) {
  CopyPixels(background_, frameStartBackground_);
  backgroundStart_ = frame;
}

}  // namespace sp
