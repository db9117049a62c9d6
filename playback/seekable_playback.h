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
#include "playback/block_plan.h"
#include "playback/cursor_presentation.h"
#include "playback/frame_clock.h"
#include "playback/picture.h"
#include "playback/playback_state.h"
#include "playback/recording_index.h"
#include "playback/snapshot_cache.h"

namespace sp {

// A recording that can be shown at any tick of the stub's frame clock. The
// index (RecordingIndex) is built in one forward pass over the frame
// records without decoding; pictures are composed from the nearest
// full-frame snapshot (SnapshotCache) and the parts of the blocks after it
// that stay visible (PlanBlocks). The picture at tick T is pixel for pixel
// what the stub's window shows at that tick, cursor included.
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
  // Reads more of them within `budget`, for a front end that indexes in
  // slices between its events; true once all are indexed. The frames
  // indexed so far can be shown meanwhile.
  bool IndexSome(const IndexBudget& budget);
  bool Indexed() const { return index_->Indexed(); }

  const RecordingIndex& Index() const { return *index_; }
  const PayloadLocation& Location() const { return location_; }
  const VideoHeader& Header() const { return location_.head.header; }
  int Width() const { return Header().FrameWidth; }
  int Height() const { return Header().FrameHeight; }
  bool HasSoundTrack() const { return location_.head.leadWord != 0; }

  // Frames that can be shown, frame 0 included.
  int32_t FrameCount() const { return static_cast<int32_t>(Frames().size()); }
  // The stub's frame clock for this recording (the header's interval is
  // at least 40 ms, so it runs).
  const FrameClock& Clock() const { return index_->Clock(); }
  int32_t TicksPerFrame() const { return Clock().TicksPerFrame(); }
  int32_t TickMilliseconds() const { return Clock().TickMilliseconds(); }
  // The last tick at which the picture changes: the last frame's, or for a
  // recording of one frame the last cursor step.
  int64_t LastTick() const;
  int64_t DurationMilliseconds() const { return Clock().MillisecondsOf(LastTick()); }
  // The following clamp to 0 .. LastTick() and the frames that can be shown.
  int64_t TickAt(int64_t milliseconds) const;
  int64_t MillisecondsOf(int64_t tick) const { return Clock().MillisecondsOf(tick); }
  int32_t FrameOfTick(int64_t tick) const;
  int64_t TickOfFrame(int32_t frame) const { return Clock().TickOfFrame(frame); }

  const std::vector<IndexedFrame>& Frames() const { return index_->Frames(); }
  const std::vector<IndexedBlock>& Blocks() const { return index_->Blocks(); }
  const std::optional<ItemFault>& Damage() const { return index_->Damage(); }

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
  // Reads the next frames' blocks through, in time order, as playing them
  // would (about `bytes` of pictures); false once every frame is read. A
  // seek decodes only the blocks that show, so a block drawn over later
  // that does not decode is found here, and ends the recording before its
  // frame as it ends the stub's.
  bool CheckNextFrames(int64_t bytes = int64_t{1} << 20);
  // Frames 1 to this one are known to decode whole.
  int32_t CheckedFrames() const { return checked_; }
  // One slice of the work for idle moments, once the index is complete:
  // the next snapshot, else the next frames' check. False when none is left.
  bool DoIdleWork();

  // Snapshots held and their bytes, for tests and benchmarks.
  size_t SnapshotCount() const { return snapshots_.Count(); }
  int64_t SnapshotBytes() const { return snapshots_.Bytes(); }
  int32_t SnapshotSpacing() const { return snapshots_.Spacing(); }

 private:
  class Composer;

  void PlanSnapshots();
  void Compose(int32_t frame);
  void ApplyFrames(int32_t from, int32_t to, const BlockPlan* plan);
  void ApplyFrame(int32_t frame, const std::vector<PlannedBlock>* only, bool check = false);
  // Runs `apply`, which reads frame records: damage it meets ends the
  // recording before the frame being applied, and the result is false.
  template <typename Apply>
  bool EndingAtDamage(Apply apply);
  void KeepSnapshot(int32_t frame);
  void EndAtDamage(int32_t frame, ItemFault fault);
  // Shows frame_ with the cursor at tick `steps` of `frame`.
  void PresentAt(int32_t frame, int steps, const Icon& icon);
  // Keeps what was last drawn on frame_ in changed_, while it is tracked.
  void NoteChange();
  // Starts tracking what is drawn on frame_ from here on.
  void TrackChangesFrom(int32_t frame);
  // Puts into background_ what the stub holds under its cursor when
  // `frame` begins.
  void RestoreBackgroundAt(int32_t frame);

  std::unique_ptr<Stream> file_;
  std::unique_ptr<PayloadReader> reader_;
  Options options_;
  PayloadLocation location_;
  std::unique_ptr<RecordingIndex> index_;

  // Composition: the frame bitmap and where it stands.
  JpegImage jpeg_;
  MemoryStream jpegBuffer_;
  MemoryStream iconBuffer_;
  Bitmap frame_;
  std::optional<int32_t> composed_;  // the frame whose bitmap frame_ holds
  int32_t checked_ = 0;               // frames 1 .. checked_ decode whole
  int32_t applyingFrame_ = 0;
  SnapshotCache snapshots_;
  // frame_ differs from this frame's bitmap only inside changed_ (none:
  // not known). Filled while records are applied in order.
  std::optional<int32_t> changesSince_;
  std::vector<Rect> changed_;

  // The window's picture: frame_ with the cursor over it.
  std::unique_ptr<CursorPresentation> cursor_;
};

}  // namespace sp
