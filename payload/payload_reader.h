#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "payload/layout.h"
#include "platform/errors.h"
#include "platform/geometry.h"
#include "platform/number_format.h"
#include "platform/stream.h"

namespace sp {

// The player's own message for a recording that can only be damaged.
inline constexpr const char* kDamagedRecordingText = "录像文件已损坏";

// Where a read went wrong: the item as the recorder names it ("frame 57:
// block 3"), the file offset, and the whole sentence for a reader of the
// file ("frame 57: block 3: JPEG of 9,312 bytes at offset ... runs past ...").
struct ItemFault {
  std::string item;
  int64_t offset = 0;
  std::string message;
};

// The file ends inside an item. To the player this is the framework's
// "Stream read error"; the fault says where.
class PayloadEndError : public StreamReadError {
 public:
  explicit PayloadEndError(ItemFault fault) : fault_(std::move(fault)) {}
  const ItemFault& Fault() const { return fault_; }

 private:
  ItemFault fault_;
};

// A value no recorder writes, found before anything was sized from it. Not a
// framework error: the player reports it with its own message box.
class DamagedRecording : public std::runtime_error {
 public:
  explicit DamagedRecording(ItemFault fault)
      : std::runtime_error(fault.message), fault_(std::move(fault)) {}
  const ItemFault& Fault() const { return fault_; }

 private:
  ItemFault fault_;
};

// Item 3, as the player keeps it; the reserved integers are never interpreted.
struct VideoHeader {
  int32_t reserved0 = 0;
  int32_t FrameWidth = 0;
  int32_t FrameHeight = 0;
  int32_t FrameCount = 0;
  int32_t reserved16 = 0;
  int32_t FrameInterval = 0;
  std::array<int32_t, 3> reserved24{};
  int32_t HasCursor = 0;

  std::array<int32_t, 5> Reserved() const {
    return {reserved0, reserved16, reserved24[0], reserved24[1], reserved24[2]};
  }
};

// Item 5, with the texts decoded from code page 936 to UTF-8.
struct CaptionStyle {
  std::string CaptionText;
  int32_t CaptionX = 0;
  int32_t CaptionY = 0;
  int32_t CaptionFontSize = 0;
  std::string CaptionFontName;
  uint32_t CaptionFontColor = 0;
  uint8_t CaptionBold = 0;
  uint8_t CaptionItalic = 0;
  uint8_t CaptionUnderline = 0;
  uint8_t CaptionStrikeOut = 0;
};

struct CursorPosition {
  int32_t x = 0;
  int32_t y = 0;
};

// An icon or JPEG item whose bytes were copied into a buffer.
struct ImageItem {
  int64_t offset = 0;  // of the bytes, behind their size
  int32_t size = 0;
};

struct BlockItem {
  int index = 0;            // in the frame, from 0
  int32_t frameNumber = 0;  // as stored: k for every block the recorder writes
  Rect rect;                // as stored: right and bottom exclusive
  int64_t offset = 0;       // of the frame number that opened it
  ImageItem jpeg;
};

// What a frame record's items are handed to, in stored order.
class FrameRecordEvents {
 public:
  virtual ~FrameRecordEvents() = default;
  // A cursor change of S > 0: the icon's bytes are in the icon buffer, rewound.
  virtual void CursorChange(const ImageItem&) {}
  // S < 0, which keeps the picture as S = 0 does.
  virtual void NegativeCursorChange(int32_t /*size*/, int64_t /*offset*/) {}
  // The frame number that opens the frame's first block, read before
  // anything else of the block.
  virtual void FirstBlockNumber(int32_t /*frameNumber*/) {}
  // The block's JPEG is in the JPEG buffer, rewound.
  virtual void Block(const BlockItem& block) = 0;
};

struct FrameRecordEnd {
  int32_t terminator = 0;  // -k as the recorder writes it
  int64_t terminatorOffset = 0;
  int blocks = 0;
  // Absent without cursor data, and when the file ends where the last
  // frame's next position should be: that position is never shown.
  std::optional<CursorPosition> next;
};

// The lead word, video header and what they give, read without anything
// behind them: enough to size a picture or check a stub.
struct PayloadHead {
  uint32_t leadWord = 0;
  int64_t videoOffset = 0;
  VideoHeader header;
};

// Seeks the C runtime handle to PAYLOAD_OFFSET and reads VideoOffset,
// leaving the handle just behind it. StreamReadError when the file is shorter.
uint32_t ReadLeadWord(std::FILE* file);

// Reads a recording forward, item by item in the order of the layout,
// naming the item being read and its offset. Every size is checked against
// what the file still holds before anything is copied or allocated; a read
// that fails puts the stream back at the start of its item, so nothing of an
// item is consumed unless all of it is.
//
// Failures: PayloadEndError when the file ends inside an item,
// DamagedRecording for a value no recorder writes that would size
// something (an image size of 0 or less, a header that gives no picture).
class PayloadReader {
 public:
  explicit PayloadReader(Stream& in);

  Stream& GetStream() { return in_; }
  int64_t Offset() const;
  int64_t FileSize() const { return size_; }
  int64_t Remaining() const;
  // The item being read and where it began.
  const std::string& Item() const { return item_; }
  int64_t ItemOffset() const { return itemOffset_; }

  // Names the item that begins at the current offset.
  void Begin(std::string item);
  // Names the item read so far more precisely; it still began where it did.
  void Rename(std::string item) { item_ = std::move(item); }

  [[noreturn]] void FailEnd(int64_t offset, const std::string& what);
  [[noreturn]] void FailDamaged(int64_t offset, const std::string& what);

  // One record of the layout, whole or not at all; `what` names it in a
  // failure ("cursor x", "video header").
  template <class Record>
  Record Read(const char* what) {
    Record record;
    ReadRecordBytes(&record, sizeof record, what);
    return record;
  }
  int32_t Int32(const char* what) { return Read<LeInt32>(what).Get(); }
  std::vector<uint8_t> Bytes(size_t count, const char* what);
  void Skip(int64_t count, const char* what);

  // The items, in the order of the layout.
  uint32_t ReadLeadWord(uint32_t payloadOffset);
  // Item 3 and the two skipped fields of item 4. `check` raises
  // DamagedRecording for a header the player cannot play.
  enum class HeaderCheck { kCheck, kNone };
  VideoHeader ReadVideoHeader(HeaderCheck check = HeaderCheck::kCheck);
  CaptionStyle ReadCaptionStyle();
  // Item 6: the position, then the icon's bytes into `icon`.
  CursorPosition ReadFirstCursor(MemoryStream& icon, ImageItem* item = nullptr);
  ImageItem ReadKeyFrame(MemoryStream& jpeg);
  // Item 8, with its offset; the player does not interpret it.
  int32_t ReadFrameZeroTerminator(int64_t* offset = nullptr);
  // The next cursor position behind frame k (item 9 for k = 0). For the
  // last frame a file that ends there gives none, without error.
  enum class LastFrame { kNo, kYes };
  std::optional<CursorPosition> ReadNextCursor(int32_t k, LastFrame last);
  // Item 10 for frame k: the cursor change (with cursor data), the blocks up
  // to the terminator, the next cursor position (with cursor data).
  FrameRecordEnd ReadFrameRecord(int32_t k, bool hasCursor, LastFrame last, MemoryStream& icon,
                                 MemoryStream& jpeg, FrameRecordEvents& events);

  // A size integer, then that many bytes copied into `into` and rewound.
  // kind names them ("JPEG", "icon").
  ImageItem ReadSizedImage(const char* kind, MemoryStream& into);
  // `size` bytes of an image whose size was read already, at the offset
  // where its size began.
  ImageItem CopyImage(const char* kind, int32_t size, int64_t sizeOffset, MemoryStream& into);

 private:
  void ReadRecordBytes(void* out, size_t count, const char* what);

  Stream& in_;
  int64_t size_;
  std::string item_;
  int64_t itemOffset_ = 0;
};

// The lead word and the video header only, checked as the player checks
// them unless told not to; nothing behind the header is read.
PayloadHead ReadPayloadHead(Stream& file, uint32_t payloadOffset = PAYLOAD_OFFSET,
                            PayloadReader::HeaderCheck check = PayloadReader::HeaderCheck::kCheck);

}  // namespace sp
