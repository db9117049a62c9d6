#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "payload/payload_locator.h"
#include "payload/payload_reader.h"
#include "payload/sound_samples.h"
#include "platform/bitmap.h"
#include "platform/icon.h"
#include "platform/jpeg_image.h"
#include "platform/stream.h"
#include "playback/frame_clock.h"
#include "playback/picture.h"
#include "playback/playback_state.h"

namespace sp {

// One frame of a recording as the index holds it: where its record lies,
// its blocks, and the cursor during it (the values the frame clock holds
// while the frame is shown).
struct IndexedFrame {
  int64_t offset = 0;  // of the frame record; for frame 0, of the key frame
  uint32_t firstBlock = 0;  // into SeekablePlayback::Blocks()
  uint32_t blockCount = 0;
  float cursorX = 0;
  float cursorY = 0;
  float nextCursorX = 0;
  float nextCursorY = 0;
  // The frame whose cursor picture is in effect (0: the first cursor), and
  // this frame's own cursor change, when it has one.
  int32_t iconFrame = 0;
  ImageItem icon;
};

struct IndexedBlock {
  // Where the block's JPEG is drawn: left and top as stored, the extent as
  // stored until a decode shows the picture's own size.
  Rect rect;
  ImageItem jpeg;
};

// A recording that can be shown at any tick of the stub's frame clock. The
// index is built in one forward pass over the frame records without
// decoding; pictures are composed from the nearest full-frame snapshot
// (kept every few seconds, within a memory budget) and the blocks after it
// that are still visible. The picture at tick T is pixel for pixel what the
// stub's window shows at that tick, cursor included.
//
// Damage ends the recording where it is found: the frames before it play,
// and Damage() names the item and offset.
class SeekablePlayback {
 public:
  struct Options {
    int64_t snapshotBudgetBytes = int64_t{160} << 20;
    int32_t snapshotMilliseconds = 5000;  // at most this far apart, within the budget
    // Off: only frame 0 is read at open, so that the first picture shows
    // at once; CompleteIndex() reads the rest.
    bool indexAtOpen = true;
  };

  // Finds the payload in the file (LocatePayload) and indexes it.
  // FileOpenError, PayloadEndError or DamagedRecording when nothing of it
  // can be shown; JpegError when the key frame does not decode.
  static std::unique_ptr<SeekablePlayback> Open(const std::string& path);
  static std::unique_ptr<SeekablePlayback> Open(const std::string& path, const Options& options);
  SeekablePlayback(std::unique_ptr<Stream> file, const Options& options);
  ~SeekablePlayback();

  // Reads the frame records not yet indexed; nothing when all are.
  void CompleteIndex();
  bool Indexed() const { return indexed_; }

  const PayloadLocation& Location() const { return location_; }
  const VideoHeader& Header() const { return location_.head.header; }
  int Width() const { return Header().FrameWidth; }
  int Height() const { return Header().FrameHeight; }
  bool HasSoundTrack() const { return location_.head.leadWord != 0; }

  // Frames that can be shown, frame 0 included.
  int32_t FrameCount() const { return static_cast<int32_t>(frames_.size()); }
  // The stub's frame clock for this recording (the header's interval is
  // at least 40 ms, so it runs).
  const FrameClock& Clock() const { return clock_; }
  int32_t TicksPerFrame() const { return clock_.TicksPerFrame(); }
  int32_t TickMilliseconds() const { return clock_.TickMilliseconds(); }
  // The last tick at which the picture changes: the last frame's, or for a
  // recording of one frame the last cursor step.
  int64_t LastTick() const;
  int64_t DurationMilliseconds() const { return clock_.MillisecondsOf(LastTick()); }
  // The following clamp to 0 .. LastTick() and the frames that can be shown.
  int64_t TickAt(int64_t milliseconds) const;
  int64_t MillisecondsOf(int64_t tick) const { return clock_.MillisecondsOf(tick); }
  int32_t FrameOfTick(int64_t tick) const;
  int64_t TickOfFrame(int32_t frame) const { return clock_.TickOfFrame(frame); }

  const std::vector<IndexedFrame>& Frames() const { return frames_; }
  const std::vector<IndexedBlock>& Blocks() const { return blocks_; }
  const std::optional<ItemFault>& Damage() const { return damage_; }

  // What the stub's window shows at `tick` (clamped to 0 .. LastTick()).
  // A block that fails to decode ends the recording before its frame; the
  // picture is then the last frame's.
  const Bitmap& PictureAt(int64_t tick);
  // The frame bitmap (blocks and caption, no cursor) of `frame`.
  const Bitmap& FrameAt(int32_t frame);

  // The sound track expanded into a WAV file's bytes; empty without one.
  // What was decoded up to a damage is kept.
  std::vector<uint8_t> ExpandSound();

  // The sound track's samples, expanded on demand (nullptr without a sound
  // track). Nothing is indexed yet: call IndexSome or CompleteIndex on it.
  // Through `file`, its own handle on this recording, it may be used on
  // another thread than the playback's.
  std::unique_ptr<SoundSamples> OpenSound(std::unique_ptr<Stream> file) const;
  // Through the playback's own file, for a front end on one thread; it
  // must not outlive the playback.
  std::unique_ptr<SoundSamples> OpenSound();
  // The sound-track item's file offset (its code tree).
  int64_t SoundTrackOffset() const;

  // Makes the next snapshot that is still missing, in time order; false
  // when all are made or the budget is spent. Meant for idle moments: each
  // call composes one frame from the snapshot before it.
  bool PrepareNextSnapshot();

  // Snapshots held and their bytes, for tests and benchmarks.
  size_t SnapshotCount() const { return snapshots_.size(); }
  int64_t SnapshotBytes() const;
  int32_t SnapshotSpacing() const { return snapshotSpacing_; }

 private:
  class Composer;

  void BuildIndex(PayloadReader& reader);
  void PlanSnapshots();
  void Compose(int32_t frame);
  // A block a seek decodes, and the part of its picture that stays visible.
  struct PlannedBlock {
    int index;  // in its frame record
    Rect part;  // in the picture's own pixels
  };
  using Plan = std::vector<std::vector<PlannedBlock>>;

  void ApplyFrames(int32_t from, int32_t to, const Plan* plan);
  void ApplyFrame(int32_t frame, const std::vector<PlannedBlock>* only);
  // The visible blocks of frames base + 1 .. frame, per frame, in stored
  // order.
  Plan PlanFrom(int32_t base, int32_t frame) const;
  void KeepSnapshot(int32_t frame);
  void EndAtDamage(int32_t frame, ItemFault fault);
  void LoadIcon(int32_t iconFrame);
  CursorTrack TrackOf(int32_t frame) const;
  bool CursorInsideAtStart(int32_t frame) const;
  // Shows frame_ with the cursor at tick `steps` of `frame`.
  void PresentAt(int32_t frame, int steps, const Icon& icon);
  // Playing on into `frame` (tick 0): picture_ showed an earlier frame
  // whose bitmap frame_ differs from only in changed_; copies those and the
  // cursor's marks, then draws the cursor. What PresentAt gives, touching
  // only what changed.
  void PresentChanges(int32_t frame);
  // The cursor's place at tick `step` of `frame`, kept as a mark.
  void MarkCursor(int32_t frame, int step);
  // Keeps what was last drawn on frame_ in changed_, while it is tracked.
  void NoteChange();
  // Puts into background_ what the stub holds under its cursor when
  // `frame` begins.
  void RestoreBackgroundAt(int32_t frame);

  std::unique_ptr<Stream> file_;
  std::unique_ptr<PayloadReader> reader_;
  Options options_;
  PayloadLocation location_;
  CaptionValues caption_;
  FrameClock clock_;
  ImageItem firstIcon_;
  std::vector<IndexedFrame> frames_;
  std::vector<IndexedBlock> blocks_;
  std::optional<ItemFault> damage_;
  bool indexed_ = false;
  int64_t indexFrom_ = 0;  // where frame 1's record begins

  JpegImage jpeg_;
  MemoryStream jpegBuffer_;
  MemoryStream iconBuffer_;
  Bitmap frame_;  // the frame bitmap of frame currentFrame_
  int32_t currentFrame_ = -1;
  int32_t applyingFrame_ = 0;
  std::map<int32_t, std::unique_ptr<Bitmap>> snapshots_;
  int32_t snapshotSpacing_ = 1;

  Icon icon_;
  int32_t loadedIconFrame_ = -1;
  Bitmap background_;
  Bitmap frameStartBackground_;  // background_ as frame backgroundFrame_ begins
  int32_t backgroundFrame_ = -1;
  Bitmap picture_;
  // What picture_ shows: the frame and cursor steps, or -1 for nothing known.
  int32_t pictureFrame_ = -1;
  int pictureSteps_ = 0;
  // The frame picture_ was last presented for (kept while frame_ moves on).
  int32_t presentedFrame_ = -1;
  // frame_ differs from frame changedSince_'s bitmap only inside changed_
  // (-1: not known). Filled while records are applied in order.
  int32_t changedSince_ = -1;
  std::vector<Rect> changed_;
  // Where picture_ may differ from the presented frame's bitmap: the places
  // the cursor was drawn and restored since it was presented.
  std::vector<Rect> cursorMarks_;
};

}  // namespace sp
