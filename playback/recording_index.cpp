#include "playback/recording_index.h"

#include <algorithm>
#include <string>

#include "platform/errors.h"
#include "playback/picture.h"

namespace sp {

namespace {

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

}  // namespace

RecordingIndex::RecordingIndex(Stream& file, const PayloadLocation& location, MemoryStream& keyFrame)
    : file_(file), reader_(file), location_(location) {
  file_.Seek(location_.head.videoOffset, SeekOrigin::Begin);
  PayloadReader& in = reader_;
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
  if (HasCursor()) {
    const CursorPosition p = in.ReadFirstCursor(iconBuffer_, &firstIcon_);
    zero.cursorX = static_cast<float>(p.x);
    zero.cursorY = static_cast<float>(p.y);
  }
  zero.offset = in.Offset();
  in.ReadKeyFrame(keyFrame);
  in.ReadFrameZeroTerminator();
  zero.nextCursorX = zero.cursorX;
  zero.nextCursorY = zero.cursorY;
  frames_.push_back(zero);
  try {
    if (HasCursor()) {
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
  nextOffset_ = in.Offset();
  if (Header().FrameCount <= 1) indexed_ = true;
}

bool RecordingIndex::IndexSome(const IndexBudget& budget) {
  if (indexed_) return true;
  const int64_t from = nextOffset_;
  try {
    for (int32_t n = 0; n < std::max(1, budget.records) && nextOffset_ - from < budget.bytes; ++n) {
      if (!IndexFrame(static_cast<int32_t>(frames_.size()))) {
        indexed_ = true;
        break;
      }
    }
  } catch (const PayloadEndError& e) {
    damage_ = e.Fault();
    indexed_ = true;
  } catch (const DamagedRecording& e) {
    damage_ = e.Fault();
    indexed_ = true;
  }
  jpegBuffer_.Clear();
  return indexed_;
}

void RecordingIndex::CompleteIndex() {
  while (!IndexSome({INT32_MAX, INT64_MAX})) {
  }
}

bool RecordingIndex::IndexFrame(int32_t k) {
  const VideoHeader& header = Header();
  if (k >= header.FrameCount) return false;
  PayloadReader& in = reader_;
  file_.Seek(nextOffset_, SeekOrigin::Begin);
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
        k, HasCursor(),
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
  nextOffset_ = in.Offset();
  // The stub ends the recording at the terminator that names the last
  // frame, wherever it stands.
  return -static_cast<int64_t>(read.terminator) != int64_t{header.FrameCount} - 1;
}

void RecordingIndex::EndAt(int32_t frame, ItemFault fault) {
  damage_ = std::move(fault);
  frames_.resize(std::max(1, frame));
  blocks_.resize(frames_.back().firstBlock + frames_.back().blockCount);
  indexed_ = true;
}

}  // namespace sp
