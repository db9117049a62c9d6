#include "playback/seekable_playback.h"

#include <algorithm>

#include "payload/recording_fault.h"
#include "payload/sound_expander.h"
#include "platform/canvas.h"
#include "platform/errors.h"
#include "playback/picture.h"

namespace sp {

namespace {

// Past this many changed places a whole present is as cheap as the copies.
constexpr size_t kMaxChanges = 64;

}  // namespace

// Decodes and draws a frame record's blocks (all, or the parts listed of the
// blocks listed) onto the frame bitmap, in stored order.
class SeekablePlayback::Composer : public FrameRecordEvents {
 public:
  Composer(SeekablePlayback& playback, const std::vector<PlannedBlock>* only, bool check)
      : playback_(playback), only_(only), check_(check) {}

  void Block(const BlockItem& block) override {
    SeekablePlayback& p = playback_;
    if (check_) {
      p.jpeg_.LoadFromStream(p.jpegBuffer_);
      p.jpegBuffer_.Clear();
      p.jpeg_.Check();
      return;
    }
    Rect part{0, 0, kMaxImageSide, kMaxImageSide};
    if (only_) {
      const auto planned = std::lower_bound(only_->begin(), only_->end(), block.index,
                                            [](const PlannedBlock& b, int index) { return b.index < index; });
      if (planned == only_->end() || planned->index != block.index) return;
      part = planned->part;
    }
    p.jpeg_.LoadFromStream(p.jpegBuffer_);
    p.jpegBuffer_.Clear();
    // Placed by its left and top alone, at the picture's own size.
    p.jpeg_.DrawPart(p.frame_, block.rect.left, block.rect.top, part);
    p.NoteChange();
  }

 private:
  SeekablePlayback& playback_;
  const std::vector<PlannedBlock>* only_;
  bool check_;  // read through, nothing drawn
};

std::unique_ptr<SeekablePlayback> SeekablePlayback::Open(const std::string& path) {
  return Open(path, Options{});
}

std::unique_ptr<SeekablePlayback> SeekablePlayback::Open(const std::string& path,
                                                         const Options& options) {
  return std::make_unique<SeekablePlayback>(std::make_unique<FileStream>(path), options);
}

SeekablePlayback::SeekablePlayback(std::unique_ptr<Stream> file, const Options& options)
    : file_(std::move(file)), options_(options),
      snapshots_({options.snapshotBudgetBytes, options.snapshotMilliseconds}) {
  location_ = LocatePayload(*file_);
  reader_ = std::make_unique<PayloadReader>(*file_);
  index_ = std::make_unique<RecordingIndex>(*file_, location_, jpegBuffer_);
  jpeg_.SetMaxSize(Width(), Height());
  jpeg_.LoadFromStream(jpegBuffer_);
  jpegBuffer_.Clear();
  jpeg_.AssignTo(frame_);
  const CaptionValues& caption = index_->Caption();
  if (!caption.CaptionText.empty()) {
    SetCaptionFont(frame_.GetCanvas(), caption);
    DrawCaption(frame_, caption);
  }
  composed_ = 0;
  snapshots_.Keep(0, frame_);
  cursor_ = std::make_unique<CursorPresentation>(*index_, *file_);
  PlanSnapshots();
  if (options_.indexAtOpen) CompleteIndex();
}

SeekablePlayback::~SeekablePlayback() = default;

void SeekablePlayback::CompleteIndex() {
  index_->CompleteIndex();
  PlanSnapshots();
}

bool SeekablePlayback::IndexSome(const IndexBudget& budget) {
  const bool done = index_->IndexSome(budget);
  PlanSnapshots();
  return done;
}

void SeekablePlayback::PlanSnapshots() {
  snapshots_.Plan(FrameCount(), Header().FrameInterval, int64_t{frame_.Width()} * frame_.Height() * 4);
}

int64_t SeekablePlayback::LastTick() const {
  if (FrameCount() == 1) return TicksPerFrame() - 1;
  return TickOfFrame(FrameCount() - 1);
}

int64_t SeekablePlayback::TickAt(int64_t milliseconds) const {
  return std::min(Clock().TickAt(milliseconds), LastTick());
}

int32_t SeekablePlayback::FrameOfTick(int64_t tick) const {
  return static_cast<int32_t>(
      std::min<int64_t>(Clock().FrameAtTick(std::min(tick, LastTick())), FrameCount() - 1));
}

void SeekablePlayback::EndAtDamage(int32_t frame, ItemFault fault) {
  changesSince_.reset();
  index_->EndAt(frame, std::move(fault));
  checked_ = std::min(checked_, FrameCount() - 1);
  snapshots_.DropFrom(frame);
  if (composed_ && *composed_ >= frame) composed_.reset();
}

void SeekablePlayback::ApplyFrame(int32_t frame, const std::vector<PlannedBlock>* only, bool check) {
  applyingFrame_ = frame;
  Composer composer(*this, only, check);
  file_->Seek(Frames()[frame].offset, SeekOrigin::Begin);
  const auto last = frame == Header().FrameCount - 1 ? PayloadReader::LastFrame::kYes
                                                     : PayloadReader::LastFrame::kNo;
  reader_->ReadFrameRecord(frame, Header().HasCursor == 1, last, iconBuffer_, jpegBuffer_, composer);
}

void SeekablePlayback::ApplyFrames(int32_t from, int32_t to, const BlockPlan* plan) {
  const CaptionValues& caption = index_->Caption();
  for (int32_t k = from + 1; k <= to; ++k) {
    const std::vector<PlannedBlock>* only = plan ? &(*plan)[k - from - 1] : nullptr;
    if (only && only->empty()) continue;
    ApplyFrame(k, only);
    if (!plan) {
      if (k == checked_ + 1) checked_ = k;
      // The whole record, then the caption, as the stub draws them.
      DrawCaption(frame_, caption);
      NoteChange();
      KeepSnapshot(k);
    }
  }
  // The caption is drawn after every frame; drawn in solid ink it is the
  // same drawn once or many times over the same pixels.
  if (plan) DrawCaption(frame_, caption);
}

void SeekablePlayback::KeepSnapshot(int32_t frame) { snapshots_.Keep(frame, frame_); }

void SeekablePlayback::TrackChangesFrom(int32_t frame) {
  changesSince_ = frame;
  changed_.clear();
  frame_.TakeDirty();
}

template <typename Apply>
bool SeekablePlayback::EndingAtDamage(Apply apply) {
  std::optional<ItemFault> fault;
  try {
    if (auto found = CatchRecordingFault(apply)) fault = std::move(found->fault);
  } catch (const Error& e) {
    // A picture that does not decode ends the recording before its frame.
    fault = ItemFault{reader_->Item(), reader_->ItemOffset(),
                      reader_->Item() + " at offset " + Thousands(reader_->ItemOffset()) + ": " + e.what()};
  }
  if (!fault) return true;
  EndAtDamage(applyingFrame_, std::move(*fault));
  return false;
}

void SeekablePlayback::Compose(int32_t frame) {
  for (;;) {
    frame = std::clamp(frame, 0, FrameCount() - 1);
    if (composed_ == frame) return;
    cursor_->Forget();
    const bool done = EndingAtDamage([&] {
      // Playing on: the records in order, exactly as the stub applies them.
      if (composed_ && frame > *composed_ && frame - *composed_ <= 2) {
        const int32_t from = *composed_;
        if (!changesSince_) TrackChangesFrom(from);
        composed_.reset();
        ApplyFrames(from, frame, nullptr);
        composed_ = frame;
        return;
      }
      changesSince_.reset();
      auto [base, snapshot] = snapshots_.AtOrBefore(frame);
      if (composed_ && *composed_ > base && *composed_ < frame) {
        base = *composed_;
      } else {
        CopyPixels(*snapshot, frame_);
      }
      composed_.reset();
      const BlockPlan plan = PlanBlocks(Frames(), Blocks(), base, frame, frame_.Width(), frame_.Height());
      ApplyFrames(base, frame, &plan);
      composed_ = frame;
      KeepSnapshot(frame);
    });
    if (done) return;
  }
}

bool SeekablePlayback::CheckNextFrames(int64_t bytes) {
  int64_t read = 0;
  while (checked_ + 1 < FrameCount() && read < bytes) {
    const int32_t frame = checked_ + 1;
    if (!EndingAtDamage([&] { ApplyFrame(frame, nullptr, true); })) return false;
    checked_ = frame;
    const IndexedFrame& f = Frames()[frame];
    for (uint32_t b = 0; b < f.blockCount; ++b) read += Blocks()[f.firstBlock + b].jpeg.size;
    read += 1;  // a frame of no blocks still counts
  }
  return checked_ + 1 < FrameCount();
}

bool SeekablePlayback::DoIdleWork() {
  if (!Indexed()) return false;
  return PrepareNextSnapshot() || CheckNextFrames();
}

bool SeekablePlayback::PrepareNextSnapshot() {
  const std::optional<int32_t> next =
      snapshots_.NextMissing(FrameCount(), int64_t{frame_.Width()} * frame_.Height() * 4);
  if (!next) return false;
  Compose(*next);
  return composed_ == *next;
}

const Bitmap& SeekablePlayback::FrameAt(int32_t frame) {
  Compose(frame);
  return frame_;
}

void SeekablePlayback::PresentAt(int32_t frame, int steps, const Icon& icon) {
  // What is drawn on frame_ from here on is what the next present copies.
  if (composed_ == frame) TrackChangesFrom(frame);
  cursor_->PresentAt(frame_, frame, steps, icon);
}

void SeekablePlayback::NoteChange() {
  if (!changesSince_) return;
  const Rect r = frame_.TakeDirty();
  if (r.right <= r.left || r.bottom <= r.top) return;
  changed_.push_back(r);
  if (changed_.size() > kMaxChanges) changesSince_.reset();
}

void SeekablePlayback::RestoreBackgroundAt(int32_t frame) {
  // The pixels saved under the cursor show only through a stretched save;
  // then the frames back to one whose cursor started wholly inside the
  // picture are played again, cursor steps and all.
  if (cursor_->RestoreBackgroundOf(frame)) return;
  const Icon none;
  for (int32_t f = cursor_->ReplayFrom(frame); f < frame; ++f) {
    Compose(f);
    if (composed_ != f) return;  // damage ended the recording earlier
    PresentAt(f, TicksPerFrame() - 1, none);
  }
  cursor_->KeepBackgroundOf(frame);
}

const Bitmap& SeekablePlayback::PictureAt(int64_t tick) {
  tick = std::clamp<int64_t>(tick, 0, LastTick());
  int32_t frame = FrameOfTick(tick);
  Compose(frame);
  // Damage found while composing may have ended the recording earlier.
  if (composed_ != frame) {
    tick = LastTick();
    frame = FrameOfTick(tick);
    Compose(frame);
  }
  const bool hasCursor = Header().HasCursor == 1;
  const int steps = hasCursor ? static_cast<int>(tick - TickOfFrame(frame)) : 0;
  if (cursor_->Shown() != TickPlace{frame, steps - 1} && cursor_->NeedsEarlierBackground(frame, steps)) {
    RestoreBackgroundAt(frame);
    Compose(frame);
    // Damage found replaying the frames before it ended the recording
    // earlier still: its frame is gone.
    if (composed_ != frame) return PictureAt(LastTick());
  }
  cursor_->LoadIcon(hasCursor ? std::optional<int32_t>(Frames()[frame].iconFrame) : std::nullopt);
  const std::optional<int32_t>& presented = cursor_->Presented();
  if (cursor_->Shown() == TickPlace{frame, steps - 1}) {
    // Playing on within a frame: one cursor step, as the stub's tick.
    cursor_->StepOn(frame, steps);
  } else if (steps == 0 && presented && frame > *presented && changesSince_ == presented &&
             cursor_->CanPresentChanges(frame_)) {
    cursor_->PresentChanges(frame_, changed_, frame);
    changesSince_ = frame;
    changed_.clear();
  } else if (cursor_->Shown() != TickPlace{frame, steps}) {
    PresentAt(frame, steps, cursor_->LoadedIcon());
  }
  cursor_->Showing({frame, steps});
  return cursor_->Picture();
}

int64_t SeekablePlayback::SoundTrackOffset() const { return int64_t{location_.offset} + 4; }

std::vector<uint8_t> SeekablePlayback::ExpandSound() {
  std::vector<uint8_t> wav;
  if (!HasSoundTrack()) return wav;
  file_->Seek(SoundTrackOffset(), SeekOrigin::Begin);
  SoundExpander expander(*file_, location_.head.videoOffset);
  for (std::span<const uint8_t> chunk = expander.Next(); !chunk.empty(); chunk = expander.Next()) {
    wav.insert(wav.end(), chunk.begin(), chunk.end());
  }
  return wav;
}

std::unique_ptr<SoundSamples> SeekablePlayback::OpenSound(std::unique_ptr<Stream> file) const {
  if (!HasSoundTrack()) return nullptr;
  return std::make_unique<SoundSamples>(std::move(file), SoundTrackOffset(), location_.head.videoOffset);
}

std::unique_ptr<SoundSamples> SeekablePlayback::OpenSound() {
  if (!HasSoundTrack()) return nullptr;
  return std::make_unique<SoundSamples>(*file_, SoundTrackOffset(), location_.head.videoOffset);
}

}  // namespace sp
