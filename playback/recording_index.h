#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "payload/payload_locator.h"
#include "payload/payload_reader.h"
#include "platform/geometry.h"
#include "platform/jpeg_image.h"
#include "platform/stream.h"
#include "playback/frame_clock.h"
#include "playback/playback_state.h"

namespace sp {

// One frame of a recording as the index holds it: where its record lies,
// its blocks, and the cursor during it (the values the frame clock holds
// while the frame is shown).
struct IndexedFrame {
  int64_t offset = 0;  // of the frame record; for frame 0, of the key frame
  uint32_t firstBlock = 0;  // into RecordingIndex::Blocks()
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
  // the picture's own header gives it (empty when the header does not read).
  Rect rect;
  ImageItem jpeg;
};

// How much one step of indexing may read: whichever runs out first.
struct IndexBudget {
  int32_t records = 1000;               // frame records
  int64_t bytes = int64_t{8} << 20;     // of the file
};

// What a recording holds, frame by frame, without a pixel decoded: the
// frames' records and blocks, the cursor's path and pictures, and where
// damage ends what can be shown. Built in one forward pass over the frame
// records, all at once or in steps.
class RecordingIndex {
 public:
  // Reads the head of the recording at `location` (video header, caption,
  // first cursor, key frame, frame 0's end); the key frame's bytes go to
  // `keyFrame`. PayloadEndError or DamagedRecording when nothing of it can
  // be shown.
  RecordingIndex(Stream& file, const PayloadLocation& location, MemoryStream& keyFrame);

  // Indexes more frame records within `budget`; true once all are.
  bool IndexSome(const IndexBudget& budget);
  void CompleteIndex();
  bool Indexed() const { return indexed_; }

  const PayloadLocation& Location() const { return location_; }
  const VideoHeader& Header() const { return location_.head.header; }
  const CaptionValues& Caption() const { return caption_; }
  const FrameClock& Clock() const { return clock_; }
  bool HasCursor() const { return Header().HasCursor == 1; }
  const ImageItem& FirstIcon() const { return firstIcon_; }

  const std::vector<IndexedFrame>& Frames() const { return frames_; }
  const std::vector<IndexedBlock>& Blocks() const { return blocks_; }
  const std::optional<ItemFault>& Damage() const { return damage_; }

  // Damage found while showing `frame` ends the recording before it.
  void EndAt(int32_t frame, ItemFault fault);

 private:
  // Reads frame record `k` into the index; false after the last frame.
  bool IndexFrame(int32_t k);

  Stream& file_;
  PayloadReader reader_;
  PayloadLocation location_;
  CaptionValues caption_;
  FrameClock clock_;
  ImageItem firstIcon_;
  std::vector<IndexedFrame> frames_;
  std::vector<IndexedBlock> blocks_;
  std::optional<ItemFault> damage_;
  bool indexed_ = false;
  int64_t nextOffset_ = 0;  // where the next frame record begins
  JpegImage jpeg_;          // reads the blocks' headers
  MemoryStream jpegBuffer_;
  MemoryStream iconBuffer_;
};

}  // namespace sp
