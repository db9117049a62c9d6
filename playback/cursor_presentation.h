#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/bitmap.h"
#include "platform/icon.h"
#include "platform/stream.h"
#include "playback/picture.h"
#include "playback/recording_index.h"

namespace sp {

// A tick within a frame: the frame and the cursor steps taken in it.
struct TickPlace {
  int32_t frame;
  int steps;
  bool operator==(const TickPlace&) const = default;
};

// The window's picture over a frame bitmap: the frame, and the recorded
// cursor drawn as the stub draws it at a tick, with the pixels it saves
// under the cursor. It remembers what the picture shows, so that playing
// on takes one cursor step, or copies only what changed.
class CursorPresentation {
 public:
  CursorPresentation(const RecordingIndex& index, Stream& file);

  const Bitmap& Picture() const { return picture_; }
  Bitmap& Picture() { return picture_; }
  // What the picture shows (none: nothing known, e.g. the frame bitmap
  // moved on), and the frame it was last presented for.
  const std::optional<TickPlace>& Shown() const { return shown_; }
  const std::optional<int32_t>& Presented() const { return presented_; }
  void Forget() { shown_.reset(); }
  void Showing(TickPlace place) {
    shown_ = place;
    presented_ = place.frame;
  }

  // The cursor picture of `iconFrame` (none: no cursor), read and decoded
  // when it is not the one loaded.
  void LoadIcon(std::optional<int32_t> iconFrame);
  const Icon& LoadedIcon() const { return icon_; }

  // Shows `frameBitmap` with the cursor at tick `steps` of `frame`.
  void PresentAt(const Bitmap& frameBitmap, int32_t frame, int steps, const Icon& icon);
  // One cursor step on from what the picture shows, as the stub's tick.
  void StepOn(int32_t frame, int steps);
  // Playing on into `frame` (tick 0): the picture showed an earlier frame
  // whose bitmap `frameBitmap` differs from only inside `changed`; copies
  // those and the cursor's marks, then draws the cursor. What PresentAt
  // gives, touching only what changed.
  bool CanPresentChanges(const Bitmap& frameBitmap) const;
  void PresentChanges(const Bitmap& frameBitmap, std::span<const Rect> changed, int32_t frame);

  // Whether the pixels the stub saved under its cursor in earlier frames
  // show at tick `steps` of `frame` (through a save stretched at negative
  // fractional places); the playback then replays the frames before it.
  bool NeedsEarlierBackground(int32_t frame, int steps) const;
  // The first frame to replay for `frame`'s background: one whose cursor
  // started wholly inside the picture (which saves every pixel afresh).
  // From frame 0 otherwise, with the background white, as the stub makes it.
  int32_t ReplayFrom(int32_t frame);
  // The background as `frame` begins, kept after a replay and reused.
  bool RestoreBackgroundOf(int32_t frame);
  void KeepBackgroundOf(int32_t frame);

 private:
  CursorTrack TrackOf(int32_t frame) const;
  bool CursorInsideAtStart(int32_t frame) const;
  // The cursor's place at tick `step` of `frame`, kept as a mark.
  void MarkCursor(int32_t frame, int step);
  int Width() const { return index_.Header().FrameWidth; }
  int Height() const { return index_.Header().FrameHeight; }

  const RecordingIndex& index_;
  Stream& file_;
  Icon icon_;
  std::optional<int32_t> loadedIcon_;  // the frame whose cursor picture icon_ holds
  MemoryStream iconBuffer_;
  Bitmap background_;
  Bitmap backgroundBefore_;  // background_ before a cursor step in place
  Bitmap frameStartBackground_;  // background_ as frame *backgroundStart_ begins
  std::optional<int32_t> backgroundStart_;
  Bitmap picture_;
  std::optional<TickPlace> shown_;
  std::optional<int32_t> presented_;
  // Where the picture may differ from the presented frame's bitmap: the
  // places the cursor was drawn and restored since it was presented.
  std::vector<Rect> cursorMarks_;
};

}  // namespace sp
