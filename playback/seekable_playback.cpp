#include "playback/seekable_playback.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>

#include "payload/sound_expander.h"
#include "platform/canvas.h"
#include "platform/errors.h"
#include "playback/picture.h"

namespace sp {

namespace {

// The visibility grid's cell side in pixels: a block is skipped only when
// every cell it touches lies wholly inside blocks drawn after it.
constexpr int kCell = 16;

// Past this many changed places a whole present is as cheap as the copies.
constexpr size_t kMaxChanges = 64;

constexpr int64_t kMaxScreenPixels = int64_t{7680} * 4320;

// Four days at the fastest frame clock; about 230 MB of index.
constexpr int32_t kMaxIndexedFrames = 4'000'000;

// Reads one frame record and keeps what the index needs of it: the
// blocks' places at their pictures' own sizes (read from the JPEG headers,
// nothing decoded), and the cursor change.
class IndexEvents : public FrameRecordEvents {
 public:
  IndexEvents(std::vector<IndexedBlock>& blocks, IndexedFrame& frame, JpegImage& jpeg,
              MemoryStream& jpegBuffer)
      : blocks_(blocks), frame_(frame), jpeg_(jpeg), jpegBuffer_(jpegBuffer) {}

  void CursorChange(const ImageItem& item) override { frame_.icon = item; }

  void Block(const BlockItem& block) override {
    Rect extent = block.rect;
    try {
      jpeg_.LoadFromStream(jpegBuffer_);
      extent.right = extent.left + jpeg_.Width();
      extent.bottom = extent.top + jpeg_.Height();
    } catch (const JpegError&) {
      // Its decode fails where the frame is composed; until then it
      // covers nothing.
      extent.right = extent.left;
      extent.bottom = extent.top;
    }
    blocks_.push_back({extent, block.jpeg});
    ++frame_.blockCount;
  }

 private:
  std::vector<IndexedBlock>& blocks_;
  IndexedFrame& frame_;
  JpegImage& jpeg_;
  MemoryStream& jpegBuffer_;
};

void CopyPixels(const Bitmap& from, Bitmap& to) {
  if (to.Width() != from.Width() || to.Height() != from.Height()) {
    to.SetSize(from.Width(), from.Height());
  }
  if (!from.IsEmpty()) {
    std::memcpy(to.Data(), from.Data(),
                static_cast<size_t>(from.Width()) * static_cast<size_t>(from.Height()) * sizeof(Pixel));
  }
}

}  // namespace

// Decodes and draws a frame record's blocks (all, or the parts listed of the
// blocks listed) onto the frame bitmap, in stored order.
class SeekablePlayback::Composer : public FrameRecordEvents {
 public:
  Composer(SeekablePlayback& playback, const std::vector<PlannedBlock>* only)
      : playback_(playback), only_(only) {}

  void Block(const BlockItem& block) override {
    SeekablePlayback& p = playback_;
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
};

std::unique_ptr<SeekablePlayback> SeekablePlayback::Open(const std::string& path) {
  return Open(path, Options{});
}

std::unique_ptr<SeekablePlayback> SeekablePlayback::Open(const std::string& path,
                                                         const Options& options) {
  return std::make_unique<SeekablePlayback>(std::make_unique<FileStream>(path), options);
}

SeekablePlayback::SeekablePlayback(std::unique_ptr<Stream> file, const Options& options)
    : file_(std::move(file)), options_(options) {
  location_ = LocatePayload(*file_);
  file_->Seek(location_.head.videoOffset, SeekOrigin::Begin);
  reader_ = std::make_unique<PayloadReader>(*file_);
  PayloadReader& in = *reader_;
  const VideoHeader header = in.ReadVideoHeader();
  if (int64_t{header.FrameWidth} * header.FrameHeight > kMaxScreenPixels) {
    // Each picture the viewer holds is a screenful: a header that claims
    // more than an 8K screen would size them past any memory budget.
    throw DamagedRecording({"video header", location_.head.videoOffset,
                            "video header: a screen of " + Thousands(header.FrameWidth) + " x " +
                                Thousands(header.FrameHeight) + " at offset " +
                                Thousands(location_.head.videoOffset) +
                                " is larger than the 7,680 x 4,320 the viewer shows"});
  }
  clock_ = FrameClock(header.FrameInterval);
  jpeg_.SetMaxSize(header.FrameWidth, header.FrameHeight);
  TakeCaptionStyle(caption_, in.ReadCaptionStyle());

  IndexedFrame zero;
  const bool hasCursor = header.HasCursor == 1;
  if (hasCursor) {
    const CursorPosition p = in.ReadFirstCursor(iconBuffer_, &firstIcon_);
    zero.cursorX = static_cast<float>(p.x);
    zero.cursorY = static_cast<float>(p.y);
  }
  zero.offset = in.Offset();
  in.ReadKeyFrame(jpegBuffer_);
  jpeg_.LoadFromStream(jpegBuffer_);
  jpegBuffer_.Clear();
  jpeg_.AssignTo(frame_);
  if (!caption_.CaptionText.empty()) {
    SetCaptionFont(frame_.GetCanvas(), caption_);
    DrawCaption(frame_, caption_);
  }
  currentFrame_ = 0;
  snapshots_[0] = std::make_unique<Bitmap>();
  CopyPixels(frame_, *snapshots_[0]);
  in.ReadFrameZeroTerminator();
  zero.nextCursorX = zero.cursorX;
  zero.nextCursorY = zero.cursorY;
  frames_.push_back(zero);
  try {
    if (hasCursor) {
      const auto last = header.FrameCount == 1 ? PayloadReader::LastFrame::kYes
                                               : PayloadReader::LastFrame::kNo;
      if (std::optional<CursorPosition> next = in.ReadNextCursor(0, last)) {
        frames_[0].nextCursorX = static_cast<float>(next->x);
        frames_[0].nextCursorY = static_cast<float>(next->y);
      }
    }
  } catch (const PayloadEndError& e) {
    damage_ = e.Fault();
    indexed_ = true;
  }
  indexFrom_ = in.Offset();
  background_.SetSize(kIconSize, kIconSize);
  PlanSnapshots();
  if (options_.indexAtOpen) CompleteIndex();
}

void SeekablePlayback::CompleteIndex() {
  if (indexed_) return;
  indexed_ = true;
  file_->Seek(indexFrom_, SeekOrigin::Begin);
  try {
    BuildIndex(*reader_);
  } catch (const PayloadEndError& e) {
    damage_ = e.Fault();
  } catch (const DamagedRecording& e) {
    damage_ = e.Fault();
  }
  PlanSnapshots();
}

void SeekablePlayback::PlanSnapshots() {
  const VideoHeader& header = Header();
  const int64_t frameBytes = std::max<int64_t>(1, int64_t{frame_.Width()} * frame_.Height() * 4);
  const int64_t bySeconds =
      std::max<int64_t>(1, options_.snapshotMilliseconds / std::max(1, header.FrameInterval));
  const int64_t held = std::max<int64_t>(1, options_.snapshotBudgetBytes / frameBytes);
  const int64_t byBudget = (FrameCount() + held - 1) / held;
  snapshotSpacing_ = static_cast<int32_t>(std::min<int64_t>(INT32_MAX, std::max(bySeconds, byBudget)));
}

SeekablePlayback::~SeekablePlayback() = default;

void SeekablePlayback::BuildIndex(PayloadReader& in) {
  const VideoHeader& header = Header();
  const bool hasCursor = header.HasCursor == 1;
  for (int32_t k = 1; k < header.FrameCount; ++k) {
    if (k >= kMaxIndexedFrames) {
      // Empty frame records take a few bytes each: a file may claim more
      // frames than the index should hold in memory.
      in.Begin("frame " + std::to_string(k));
      in.FailDamaged(in.Offset(), "frame " + std::to_string(k) + " at offset " + Thousands(in.Offset()) +
                                      " is past the " + Thousands(kMaxIndexedFrames) +
                                      " frames the viewer indexes");
    }
    IndexedFrame frame;
    const IndexedFrame& previous = frames_.back();
    frame.offset = in.Offset();
    frame.firstBlock = static_cast<uint32_t>(blocks_.size());
    frame.cursorX = previous.nextCursorX;
    frame.cursorY = previous.nextCursorY;
    frame.iconFrame = previous.iconFrame;
    IndexEvents events(blocks_, frame, jpeg_, jpegBuffer_);
    const size_t blocksBefore = blocks_.size();
    FrameRecordEnd read;
    try {
      read = in.ReadFrameRecord(
          k, hasCursor,
          k == header.FrameCount - 1 ? PayloadReader::LastFrame::kYes : PayloadReader::LastFrame::kNo,
          iconBuffer_, jpegBuffer_, events);
    } catch (...) {
      // A frame is shown whole or not at all.
      blocks_.resize(blocksBefore);
      throw;
    }
    if (frame.icon.size > 0) frame.iconFrame = k;
    // Without a next position read, the stub keeps the one it had.
    frame.nextCursorX = read.next ? static_cast<float>(read.next->x) : previous.nextCursorX;
    frame.nextCursorY = read.next ? static_cast<float>(read.next->y) : previous.nextCursorY;
    frames_.push_back(frame);
    // The stub ends the recording at the terminator that names the last
    // frame, wherever it stands.
    if (-static_cast<int64_t>(read.terminator) == int64_t{header.FrameCount} - 1) break;
  }
  jpegBuffer_.Clear();
}

int64_t SeekablePlayback::LastTick() const {
  if (FrameCount() == 1) return TicksPerFrame() - 1;
  return TickOfFrame(FrameCount() - 1);
}

int64_t SeekablePlayback::TickAt(int64_t milliseconds) const {
  return std::min(clock_.TickAt(milliseconds), LastTick());
}

int32_t SeekablePlayback::FrameOfTick(int64_t tick) const {
  return static_cast<int32_t>(
      std::min<int64_t>(clock_.FrameAtTick(std::min(tick, LastTick())), FrameCount() - 1));
}

int64_t SeekablePlayback::SnapshotBytes() const {
  int64_t bytes = 0;
  for (const auto& [frame, bitmap] : snapshots_) {
    bytes += int64_t{bitmap->Width()} * bitmap->Height() * 4;
  }
  return bytes;
}

void SeekablePlayback::EndAtDamage(int32_t frame, ItemFault fault) {
  changedSince_ = -1;
  damage_ = std::move(fault);
  frames_.resize(std::max(1, frame));
  for (auto it = snapshots_.lower_bound(frame); it != snapshots_.end();) it = snapshots_.erase(it);
  if (currentFrame_ >= frame) currentFrame_ = -1;
}

void SeekablePlayback::ApplyFrame(int32_t frame, const std::vector<PlannedBlock>* only) {
  applyingFrame_ = frame;
  Composer composer(*this, only);
  file_->Seek(frames_[frame].offset, SeekOrigin::Begin);
  const auto last = frame == Header().FrameCount - 1 ? PayloadReader::LastFrame::kYes
                                                     : PayloadReader::LastFrame::kNo;
  reader_->ReadFrameRecord(frame, Header().HasCursor == 1, last, iconBuffer_, jpegBuffer_, composer);
}

SeekablePlayback::Plan SeekablePlayback::PlanFrom(int32_t base, int32_t frame) const {
  const int width = frame_.Width();
  const int height = frame_.Height();
  const int columns = (width + kCell - 1) / kCell;
  const int rows = (height + kCell - 1) / kCell;
  std::vector<uint8_t> covered(static_cast<size_t>(columns) * rows, 0);
  int64_t left = int64_t{columns} * rows;
  Plan plan(static_cast<size_t>(frame - base));
  for (int32_t k = frame; k > base && left > 0; --k) {
    const IndexedFrame& f = frames_[k];
    for (int b = static_cast<int>(f.blockCount) - 1; b >= 0 && left > 0; --b) {
      const Rect& stored = blocks_[f.firstBlock + b].rect;
      const Rect r{std::max(stored.left, 0), std::max(stored.top, 0), std::min(stored.right, width),
                   std::min(stored.bottom, height)};
      if (stored.right <= stored.left || stored.bottom <= stored.top) {
        // A picture whose header did not read: decoded, so that its
        // failure ends the recording as it would in the stub.
        plan[k - base - 1].push_back({b, {0, 0, kMaxImageSide, kMaxImageSide}});
        continue;
      }
      if (r.right <= r.left || r.bottom <= r.top) continue;  // wholly outside the frame
      // The cells with something still uncovered, and around them the part
      // of the picture to decode: the rest is drawn over later.
      Rect cells{std::numeric_limits<int>::max(), std::numeric_limits<int>::max(), -1, -1};
      for (int cy = r.top / kCell; cy <= (r.bottom - 1) / kCell; ++cy) {
        for (int cx = r.left / kCell; cx <= (r.right - 1) / kCell; ++cx) {
          if (covered[static_cast<size_t>(cy) * columns + cx]) continue;
          cells = {std::min(cells.left, cx), std::min(cells.top, cy), std::max(cells.right, cx + 1),
                   std::max(cells.bottom, cy + 1)};
        }
      }
      if (cells.right < 0) continue;
      const Rect visible = r.Intersect({cells.left * kCell, cells.top * kCell, cells.right * kCell, cells.bottom * kCell});
      plan[k - base - 1].push_back({b, {visible.left - stored.left, visible.top - stored.top,
                                        visible.right - stored.left, visible.bottom - stored.top}});
      for (int cy = (r.top + kCell - 1) / kCell; cy * kCell < r.bottom; ++cy) {
        if (std::min((cy + 1) * kCell, height) > r.bottom) break;
        for (int cx = (r.left + kCell - 1) / kCell; cx * kCell < r.right; ++cx) {
          if (std::min((cx + 1) * kCell, width) > r.right) break;
          uint8_t& cell = covered[static_cast<size_t>(cy) * columns + cx];
          if (!cell) {
            cell = 1;
            --left;
          }
        }
      }
    }
  }
  for (std::vector<PlannedBlock>& blocks : plan) std::reverse(blocks.begin(), blocks.end());
  return plan;
}

void SeekablePlayback::ApplyFrames(int32_t from, int32_t to, const Plan* plan) {
  for (int32_t k = from + 1; k <= to; ++k) {
    const std::vector<PlannedBlock>* only = plan ? &(*plan)[k - from - 1] : nullptr;
    if (only && only->empty()) continue;
    ApplyFrame(k, only);
    if (!plan) {
      // The whole record, then the caption, as the stub draws them.
      DrawCaption(frame_, caption_);
      NoteChange();
      KeepSnapshot(k);
    }
  }
  // The caption is drawn after every frame; drawn in solid ink it is the
  // same drawn once or many times over the same pixels.
  if (plan) DrawCaption(frame_, caption_);
}

void SeekablePlayback::KeepSnapshot(int32_t frame) {
  if (frame % snapshotSpacing_ != 0 || snapshots_.count(frame)) return;
  if (SnapshotBytes() + int64_t{frame_.Width()} * frame_.Height() * 4 > options_.snapshotBudgetBytes) {
    return;
  }
  auto copy = std::make_unique<Bitmap>();
  CopyPixels(frame_, *copy);
  snapshots_[frame] = std::move(copy);
}

void SeekablePlayback::Compose(int32_t frame) {
  for (;;) {
    frame = std::clamp(frame, 0, FrameCount() - 1);
    if (frame == currentFrame_) return;
    pictureFrame_ = -1;
    try {
      // Playing on: the records in order, exactly as the stub applies them.
      if (currentFrame_ >= 0 && frame > currentFrame_ && frame - currentFrame_ <= 2) {
        const int32_t from = currentFrame_;
        if (changedSince_ < 0) {
          changedSince_ = from;
          changed_.clear();
          frame_.TakeDirty();
        }
        currentFrame_ = -1;
        ApplyFrames(from, frame, nullptr);
        currentFrame_ = frame;
        return;
      }
      changedSince_ = -1;
      auto snapshot = std::prev(snapshots_.upper_bound(frame));
      int32_t base = snapshot->first;
      if (currentFrame_ > base && currentFrame_ < frame) {
        base = currentFrame_;
      } else {
        CopyPixels(*snapshot->second, frame_);
      }
      currentFrame_ = -1;
      const Plan plan = PlanFrom(base, frame);
      ApplyFrames(base, frame, &plan);
      currentFrame_ = frame;
      KeepSnapshot(frame);
      return;
    } catch (const PayloadEndError& e) {
      EndAtDamage(applyingFrame_, e.Fault());
    } catch (const DamagedRecording& e) {
      EndAtDamage(applyingFrame_, e.Fault());
    } catch (const Error& e) {
      // A picture that does not decode ends the recording before its frame.
      EndAtDamage(applyingFrame_, {reader_->Item(), reader_->ItemOffset(),
                                   reader_->Item() + " at offset " +
                                       Thousands(reader_->ItemOffset()) + ": " + e.what()});
    }
  }
}

bool SeekablePlayback::PrepareNextSnapshot() {
  const int64_t frameBytes = int64_t{frame_.Width()} * frame_.Height() * 4;
  for (int64_t k = snapshotSpacing_; k < FrameCount(); k += snapshotSpacing_) {
    if (snapshots_.count(static_cast<int32_t>(k))) continue;
    if (SnapshotBytes() + frameBytes > options_.snapshotBudgetBytes) return false;
    Compose(static_cast<int32_t>(k));
    return currentFrame_ == k;
  }
  return false;
}

const Bitmap& SeekablePlayback::FrameAt(int32_t frame) {
  Compose(frame);
  return frame_;
}

void SeekablePlayback::LoadIcon(int32_t iconFrame) {
  if (iconFrame == loadedIconFrame_) return;
  const ImageItem item = iconFrame < 0    ? ImageItem{}
                         : iconFrame == 0 ? firstIcon_
                                          : frames_[iconFrame].icon;
  icon_ = Icon();
  loadedIconFrame_ = iconFrame;
  if (item.size <= 0) return;
  file_->Seek(item.offset, SeekOrigin::Begin);
  iconBuffer_.Clear();
  iconBuffer_.CopyFrom(*file_, item.size);
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

namespace {

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

CursorTrack SeekablePlayback::TrackOf(int32_t frame) const {
  const IndexedFrame& f = frames_[frame];
  return {f.cursorX, f.cursorY, f.nextCursorX, f.nextCursorY, TicksPerFrame()};
}

bool SeekablePlayback::CursorInsideAtStart(int32_t frame) const {
  const IndexedFrame& f = frames_[frame];
  const int x = TruncToPixel(f.cursorX);
  const int y = TruncToPixel(f.cursorY);
  return x >= 0 && y >= 0 && x + kIconSize <= Width() && y + kIconSize <= Height();
}

void SeekablePlayback::PresentAt(int32_t frame, int steps, const Icon& icon) {
  pictureFrame_ = -1;
  presentedFrame_ = -1;
  if (currentFrame_ == frame) {
    // What is drawn on frame_ from here on is what the next present copies.
    changedSince_ = frame;
    changed_.clear();
    frame_.TakeDirty();
  }
  if (picture_.Width() != Width() || picture_.Height() != Height() ||
      frame_.Width() < Width() || frame_.Height() < Height()) {
    // Where the frame bitmap does not reach, the window's picture stays white.
    picture_.SetSize(0, 0);
    picture_.SetSize(Width(), Height());
  }
  const CursorTrack track = TrackOf(frame);
  CursorLayer layer{picture_, background_, icon};
  PresentUnscaled(frame_, track, layer);
  cursorMarks_.clear();
  MarkCursor(frame, 0);
  for (int step = 1; step <= steps; ++step) {
    // A frame may last millions of ticks; only the steps that change the
    // picture are drawn.
    if (CursorStepIsIdle(track, step, picture_.Width(), picture_.Height(), kIconSize)) continue;
    StepCursor(track, layer, step);
    MarkCursor(frame, step);
  }
}

void SeekablePlayback::NoteChange() {
  if (changedSince_ < 0) return;
  const Rect r = frame_.TakeDirty();
  if (r.right <= r.left || r.bottom <= r.top) return;
  changed_.push_back(r);
  if (changed_.size() > kMaxChanges) changedSince_ = -1;
}

void SeekablePlayback::MarkCursor(int32_t frame, int step) {
  // P(step) as the cursor's path computes it, with a pixel of margin:
  // copying more of the frame bitmap than was touched is harmless.
  const IndexedFrame& f = frames_[frame];
  const double x0 = f.cursorX;
  const double y0 = f.cursorY;
  const int x = TruncToPixel((static_cast<double>(f.nextCursorX) - x0) * step / TicksPerFrame() + x0);
  const int y = TruncToPixel((static_cast<double>(f.nextCursorY) - y0) * step / TicksPerFrame() + y0);
  Rect mark{x - 1, y - 1, x + kIconSize + 1, y + kIconSize + 1};
  if (cursorMarks_.size() >= kMaxChanges) {
    // A long frame clock: one rectangle around all of them.
    for (const Rect& r : cursorMarks_) {
      mark = {std::min(mark.left, r.left), std::min(mark.top, r.top), std::max(mark.right, r.right),
              std::max(mark.bottom, r.bottom)};
    }
    cursorMarks_.clear();
  }
  cursorMarks_.push_back(mark);
}

void SeekablePlayback::PresentChanges(int32_t frame) {
  pictureFrame_ = -1;
  const int width = Width();
  const int height = Height();
  auto copy = [&](const Rect& r) {
    const Rect c{std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, width), std::min(r.bottom, height)};
    if (c.right <= c.left || c.bottom <= c.top) return;
    const size_t n = static_cast<size_t>(c.right - c.left) * sizeof(Pixel);
    for (int y = c.top; y < c.bottom; ++y) {
      std::memcpy(picture_.Data() + static_cast<size_t>(y) * width + c.left,
                  frame_.Data() + static_cast<size_t>(y) * frame_.Width() + c.left, n);
    }
    picture_.MarkDirty(c);
  };
  for (const Rect& r : changed_) copy(r);
  for (const Rect& r : cursorMarks_) copy(r);
  // picture_ now equals frame_; the cursor at tick 0 as PresentUnscaled
  // draws it: the pixels under it saved, then the cursor on top.
  const IndexedFrame& f = frames_[frame];
  const double x = f.cursorX;
  const double y = f.cursorY;
  const int w = background_.Width();
  const int h = background_.Height();
  background_.GetCanvas().CopyRect(Rect{0, 0, w, h}, picture_.GetCanvas(),
                                   Rect{TruncToPixel(x), TruncToPixel(y), TruncToPixel(w + x), TruncToPixel(h + y)});
  picture_.GetCanvas().Draw(TruncToPixel(x), TruncToPixel(y), icon_);
  cursorMarks_.clear();
  MarkCursor(frame, 0);
  changedSince_ = frame;
  changed_.clear();
}

void SeekablePlayback::RestoreBackgroundAt(int32_t frame) {
  // The pixels saved under the cursor carry over from frame to frame, and
  // the ones outside the picture are kept from earlier frames. They show
  // only through a stretched save; then the frames back to one whose cursor
  // started wholly inside the picture (which saves every pixel afresh) are
  // played again, cursor steps and all.
  if (backgroundFrame_ == frame) {
    CopyPixels(frameStartBackground_, background_);
    return;
  }
  int32_t from = frame - 1;
  while (from > 0 && !CursorInsideAtStart(from)) --from;
  if (from == 0 && !CursorInsideAtStart(0)) {
    background_.SetSize(0, 0);
    background_.SetSize(kIconSize, kIconSize);  // white, as the stub makes it
  }
  const Icon none;
  for (int32_t f = from; f < frame; ++f) {
    Compose(f);
    if (currentFrame_ != f) break;  // damage ended the recording earlier
    PresentAt(f, TicksPerFrame() - 1, none);
  }
  CopyPixels(background_, frameStartBackground_);
  backgroundFrame_ = frame;
}

const Bitmap& SeekablePlayback::PictureAt(int64_t tick) {
  tick = std::clamp<int64_t>(tick, 0, LastTick());
  int32_t frame = FrameOfTick(tick);
  Compose(frame);
  // Damage found while composing may have ended the recording earlier.
  if (currentFrame_ != frame) {
    tick = LastTick();
    frame = FrameOfTick(tick);
    Compose(frame);
  }
  const bool hasCursor = Header().HasCursor == 1;
  const int steps = hasCursor ? static_cast<int>(tick - TickOfFrame(frame)) : 0;
  if (steps > 0 && !(frame == pictureFrame_ && steps == pictureSteps_ + 1) &&
      !CursorInsideAtStart(frame) && StretchedSave(TrackOf(frame), steps)) {
    RestoreBackgroundAt(frame);
    Compose(frame);
  }
  LoadIcon(hasCursor ? frames_[frame].iconFrame : -1);
  if (frame == pictureFrame_ && steps == pictureSteps_ + 1) {
    // Playing on within a frame: one cursor step, as the stub's tick.
    CursorLayer layer{picture_, background_, icon_};
    StepCursor(TrackOf(frame), layer, steps);
    MarkCursor(frame, steps);
  } else if (steps == 0 && presentedFrame_ >= 0 && frame > presentedFrame_ &&
             changedSince_ == presentedFrame_ && picture_.Width() == Width() &&
             picture_.Height() == Height() && frame_.Width() >= Width() && frame_.Height() >= Height()) {
    PresentChanges(frame);
  } else if (frame != pictureFrame_ || steps != pictureSteps_) {
    PresentAt(frame, steps, icon_);
  }
  pictureFrame_ = frame;
  pictureSteps_ = steps;
  presentedFrame_ = frame;
  return picture_;
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
