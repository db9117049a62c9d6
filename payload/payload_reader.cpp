#include "payload/payload_reader.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "platform/stream.h"
#include "platform/text.h"

namespace sp {

uint32_t ReadLeadWord(std::FILE* file) {
  LeadWordRecord lead;
  if (std::fseek(file, PAYLOAD_OFFSET, SEEK_SET) != 0 ||
      std::fread(&lead, 1, sizeof lead, file) != sizeof lead) {
    throw StreamReadError();
  }
  return lead.VideoOffset.Get();
}

PayloadReader::PayloadReader(Stream& in) : in_(in), size_(in.Size()) {}

int64_t PayloadReader::Offset() const { return in_.Position(); }

int64_t PayloadReader::Remaining() const { return size_ - in_.Position(); }

void PayloadReader::Begin(std::string item) {
  item_ = std::move(item);
  itemOffset_ = Offset();
}

void PayloadReader::FailEnd(int64_t offset, const std::string& what) {
  in_.Seek(itemOffset_, SeekOrigin::Begin);
  throw PayloadEndError({item_, offset, item_ + ": " + what});
}

void PayloadReader::FailDamaged(int64_t offset, const std::string& what) {
  in_.Seek(itemOffset_, SeekOrigin::Begin);
  throw DamagedRecording({item_, offset, item_ + ": " + what});
}

void PayloadReader::ReadRecordBytes(void* out, size_t count, const char* what) {
  const int64_t at = Offset();
  const int64_t left = Remaining();
  if (left < static_cast<int64_t>(count)) {
    // Said of the integer the file ends in, as a reader of the layout
    // counts: the records are runs of 4-byte integers.
    const int64_t cut = at + left / 4 * 4;
    if (left % 4 == 0) {
      FailEnd(cut, "the file ends at offset " + Thousands(cut) + ", where the " + what +
                       " should begin");
    }
    FailEnd(cut, "the file ends at offset " + Thousands(size_) + ", inside the " + what +
                     " at offset " + Thousands(cut));
  }
  in_.ReadBuffer(out, count);
}

std::vector<uint8_t> PayloadReader::Bytes(size_t count, const char* what) {
  const int64_t at = Offset();
  if (Remaining() < static_cast<int64_t>(count)) {
    FailEnd(at, "the " + std::string(what) + " of " + Thousands(static_cast<int64_t>(count)) +
                    " bytes at offset " + Thousands(at) + " runs past the end of the file at offset " +
                    Thousands(size_));
  }
  std::vector<uint8_t> bytes(count);
  in_.ReadBuffer(bytes.data(), count);
  return bytes;
}

void PayloadReader::Skip(int64_t count, const char* what) {
  const int64_t at = Offset();
  if (Remaining() < count) {
    FailEnd(at, "the " + std::string(what) + " of " + Thousands(count) + " bytes at offset " +
                    Thousands(at) + " runs past the end of the file at offset " + Thousands(size_));
  }
  in_.Seek(count, SeekOrigin::Current);
}

uint32_t PayloadReader::ReadLeadWord(uint32_t payloadOffset) {
  Begin("lead word");
  if (size_ < payloadOffset) {
    FailEnd(size_, "the file of " + Thousands(size_) + " bytes ends before the payload offset " +
                       Thousands(payloadOffset));
  }
  in_.Seek(payloadOffset, SeekOrigin::Begin);
  Begin("lead word");
  return Read<LeadWordRecord>("lead word").VideoOffset.Get();
}

VideoHeader PayloadReader::ReadVideoHeader(HeaderCheck check) {
  Begin("video header");
  const int64_t at = Offset();
  const VideoHeaderRecord r = Read<VideoHeaderRecord>("video header");
  VideoHeader h;
  h.reserved0 = r.reserved0.Get();
  h.FrameWidth = r.FrameWidth.Get();
  h.FrameHeight = r.FrameHeight.Get();
  h.FrameCount = r.FrameCount.Get();
  h.reserved16 = r.reserved16.Get();
  h.FrameInterval = r.FrameInterval.Get();
  for (size_t i = 0; i < h.reserved24.size(); ++i) h.reserved24[i] = r.reserved24[i].Get();
  h.HasCursor = r.HasCursor.Get();
  if (check == HeaderCheck::kCheck) {
    auto side = [&](const char* name, int32_t value, size_t field) {
      if (value <= 0 || value > kMaxFrameSide) {
        FailDamaged(at, std::string("frame ") + name + " " + Thousands(value) + " at offset " +
                            Thousands(at + static_cast<int64_t>(field)) + " is outside 1 to " +
                            Thousands(kMaxFrameSide));
      }
    };
    side("width", h.FrameWidth, offsetof(VideoHeaderRecord, FrameWidth));
    side("height", h.FrameHeight, offsetof(VideoHeaderRecord, FrameHeight));
    if (h.FrameCount < 1) {
      FailDamaged(at, "frame count " + Thousands(h.FrameCount) + " at offset " +
                          Thousands(at + int64_t{offsetof(VideoHeaderRecord, FrameCount)}) +
                          " is below 1");
    }
    if (h.FrameInterval < kMinFrameInterval) {
      FailDamaged(at, "frame interval " + Thousands(h.FrameInterval) + " ms at offset " +
                          Thousands(at + int64_t{offsetof(VideoHeaderRecord, FrameInterval)}) +
                          " is below " + std::to_string(kMinFrameInterval) + " ms");
    }
  }
  Skip(sizeof(SkippedFieldsRecord), "two fields behind the video header");
  return h;
}

CaptionStyle PayloadReader::ReadCaptionStyle() {
  Begin("caption style");
  const std::vector<uint8_t> bytes = Bytes(sizeof(CaptionStyleRecord), "caption style");
  CaptionStyleRecord r;
  std::memcpy(&r, bytes.data(), sizeof r);
  CaptionStyle s;
  s.CaptionText = DecodeGbkField(r.CaptionText, sizeof r.CaptionText);
  s.CaptionX = r.CaptionX.Get();
  s.CaptionY = r.CaptionY.Get();
  s.CaptionFontSize = r.CaptionFontSize.Get();
  s.CaptionFontName = DecodeGbkField(r.CaptionFontName, sizeof r.CaptionFontName);
  s.CaptionFontColor = r.CaptionFontColor.Get();
  s.CaptionBold = r.CaptionBold;
  s.CaptionItalic = r.CaptionItalic;
  s.CaptionUnderline = r.CaptionUnderline;
  s.CaptionStrikeOut = r.CaptionStrikeOut;
  return s;
}

ImageItem PayloadReader::CopyImage(const char* kind, int32_t size, int64_t sizeOffset,
                                   MemoryStream& into) {
  if (size <= 0) {
    FailDamaged(sizeOffset, std::string(kind) + " size " + Thousands(size) + " at offset " +
                                Thousands(sizeOffset) + " is not positive");
  }
  const int64_t start = Offset();
  if (Remaining() < size) {
    FailEnd(start, std::string(kind) + " of " + Thousands(size) + " bytes at offset " +
                       Thousands(start) + " runs past the end of the file at offset " +
                       Thousands(size_));
  }
  into.Clear();
  into.CopyFrom(in_, size);
  into.Seek(0, SeekOrigin::Begin);
  return {start, size};
}

ImageItem PayloadReader::ReadSizedImage(const char* kind, MemoryStream& into) {
  const int64_t at = Offset();
  const int32_t size = Read<ImageSizeRecord>((std::string(kind) + " size").c_str()).size.Get();
  return CopyImage(kind, size, at, into);
}

namespace {

// A record whose last integer has a name of its own: a file that ends
// inside that integer says so, as a reader counting integers would.
template <class Record>
Record ReadNamingTail(PayloadReader& reader, const char* what, int64_t tailAt, const char* tailWhat) {
  const int64_t left = reader.Remaining();
  if (left >= tailAt && left < static_cast<int64_t>(sizeof(Record))) {
    reader.GetStream().Seek(tailAt, SeekOrigin::Current);
    reader.Int32(tailWhat);  // fails, and puts the stream back at the item
  }
  return reader.Read<Record>(what);
}

CursorPosition ReadPosition(PayloadReader& reader) {
  const CursorPositionRecord r = ReadNamingTail<CursorPositionRecord>(
      reader, "cursor x", offsetof(CursorPositionRecord, y), "cursor y");
  return {r.x.Get(), r.y.Get()};
}

}  // namespace

CursorPosition PayloadReader::ReadFirstCursor(MemoryStream& icon, ImageItem* item) {
  Begin("first cursor");
  const CursorPosition p = ReadPosition(*this);
  const ImageItem image = ReadSizedImage("icon", icon);
  if (item) *item = image;
  return p;
}

ImageItem PayloadReader::ReadKeyFrame(MemoryStream& jpeg) {
  Begin("key frame");
  return ReadSizedImage("JPEG", jpeg);
}

int32_t PayloadReader::ReadFrameZeroTerminator(int64_t* offset) {
  Begin("frame 0 terminator");
  if (offset) *offset = Offset();
  return Int32("terminator");
}

std::optional<CursorPosition> PayloadReader::ReadNextCursor(int32_t k, LastFrame last) {
  Begin(k == 0 ? std::string("next cursor 1") : "frame " + std::to_string(k) + ": next cursor");
  if (last == LastFrame::kYes && Remaining() < static_cast<int64_t>(sizeof(CursorPositionRecord))) {
    return std::nullopt;
  }
  return ReadPosition(*this);
}

FrameRecordEnd PayloadReader::ReadFrameRecord(int32_t k, bool hasCursor, LastFrame last,
                                              MemoryStream& icon, MemoryStream& jpeg,
                                              FrameRecordEvents& events) {
  const std::string frame = "frame " + std::to_string(k);
  if (hasCursor) {
    Begin(frame + ": cursor change");
    const int64_t at = Offset();
    const int32_t s = Read<ImageSizeRecord>("cursor change size").size.Get();
    if (s > 0) {
      events.CursorChange(CopyImage("icon", s, at, icon));
    } else if (s < 0) {
      events.NegativeCursorChange(s, at);
    }
  }
  FrameRecordEnd end;
  for (int index = 0;; ++index) {
    Begin(frame);
    const int64_t at = Offset();
    const int32_t m =
        Int32(("block " + std::to_string(index) + " or the terminator").c_str());
    if (m <= 0) {
      Rename(frame + ": terminator");
      end.terminator = m;
      end.terminatorOffset = at;
      end.blocks = index;
      break;
    }
    Rename(frame + ": block " + std::to_string(index));
    if (index == 0) events.FirstBlockNumber(m);
    const BlockRecord r =
        ReadNamingTail<BlockRecord>(*this, "rectangle", offsetof(BlockRecord, jpegSize), "JPEG size");
    BlockItem block;
    block.index = index;
    block.frameNumber = m;
    block.rect = {r.left.Get(), r.top.Get(), r.right.Get(), r.bottom.Get()};
    block.offset = at;
    block.jpeg = CopyImage("JPEG", r.jpegSize.Get(), Offset() - 4, jpeg);
    events.Block(block);
  }
  if (hasCursor) end.next = ReadNextCursor(k, last);
  return end;
}

PayloadHead ReadPayloadHead(Stream& file, uint32_t payloadOffset, PayloadReader::HeaderCheck check) {
  PayloadReader reader(file);
  PayloadHead head;
  head.leadWord = reader.ReadLeadWord(payloadOffset);
  head.videoOffset = head.leadWord == 0 ? int64_t{payloadOffset} + 4 : int64_t{head.leadWord};
  if (head.videoOffset > reader.FileSize()) {
    reader.FailEnd(payloadOffset, "the lead word points the video stream at offset " +
                                      Thousands(head.videoOffset) +
                                      ", past the end of the file at offset " +
                                      Thousands(reader.FileSize()));
  }
  file.Seek(head.videoOffset, SeekOrigin::Begin);
  head.header = reader.ReadVideoHeader(check);
  return head;
}

}  // namespace sp
