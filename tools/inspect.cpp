#include "tools/inspect.h"

#include <algorithm>

#include "payload/sound_expander.h"
#include "platform/bitmap.h"
#include "platform/errors.h"
#include "platform/icon.h"
#include "platform/jpeg_image.h"
#include "platform/stream.h"
#include "platform/text.h"
#include "playback/scene_marks.h"
#include "tools/text_format.h"

namespace sp::tool {
namespace {

std::string RectText(const Rect& r) {
  return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " +
         std::to_string(r.right) + ", " + std::to_string(r.bottom) + ")";
}

class Walker : public FrameRecordEvents {
 public:
  Walker(Stream& file, const InspectOptions& options, RecordingInfo& info)
      : file_(file), in_(file), options_(options), info_(info) {}

  void Run() {
    info_.fileSize = in_.FileSize();
    info_.payloadOffset = options_.payloadOffset;
    LeadWord();
    if (info_.leadWord != 0) SoundTrack();
    file_.Seek(info_.videoOffset, SeekOrigin::Begin);
    VideoHeader();
    Caption();
    if (info_.hasCursor == 1) FirstCursor();
    KeyFrame();
    for (int32_t k = 1; k < info_.frameCount; ++k) FrameRecord(k);
    info_.trailingBytes = in_.Remaining();
    if (info_.trailingBytes > 0) {
      info_.warnings.push_back(Thousands(info_.trailingBytes) + " bytes behind the last frame, at offset " +
                               Thousands(in_.Offset()) + ", are never read");
    }
  }

 private:
  // Said of the item being read: "frame 3: terminator: ...".
  void Warn(const std::string& what) { info_.warnings.push_back(in_.Item() + ": " + what); }

  void LeadWord() {
    info_.leadWord = in_.ReadLeadWord(options_.payloadOffset);
    info_.videoOffset = info_.leadWord == 0 ? int64_t(options_.payloadOffset) + 4 : info_.leadWord;
  }

  void SoundTrack() {
    const int64_t start = in_.Offset();
    const int64_t bitsStart = start + int64_t(kHuffTreeBytes) + 4;
    if (info_.videoOffset < bitsStart) {
      in_.FailEnd(start - 4, "the lead word points the video stream at offset " +
                                 Thousands(info_.videoOffset) + ", inside the sound track's " +
                                 Thousands(bitsStart - start) + " bytes of code tree and length at offset " +
                                 Thousands(start));
    }
    if (info_.videoOffset > info_.fileSize) {
      in_.FailEnd(start - 4, "the lead word points the video stream at offset " +
                                 Thousands(info_.videoOffset) + ", past the end of the file at offset " +
                                 Thousands(info_.fileSize));
    }
    in_.Begin("sound track");
    SoundTrackInfo sound;
    sound.offset = start;
    sound.codedBytes = info_.videoOffset - bitsStart;
    const std::vector<uint8_t> treeBytes = in_.Bytes(kHuffTreeBytes, "code tree");
    const CodeTree tree = ParseHuffTree(treeBytes);
    if (std::string problem = CheckCodeTree(tree); !problem.empty()) {
      in_.FailDamaged(start, "the code tree at offset " + Thousands(start) + " is not a tree: " + problem);
    }
    sound.decodedLength = in_.Int32("decoded length");
    if (sound.decodedLength < 0) {
      in_.FailDamaged(bitsStart - 4, "the decoded length " + Thousands(sound.decodedLength) +
                                         " at offset " + Thousands(bitsStart - 4) + " is negative");
    }
    // The bit stream is expanded piece by piece; only the WAV's head is kept.
    constexpr size_t kHeadBytes = 64 * 1024;
    std::vector<uint8_t> head;
    file_.Seek(start, SeekOrigin::Begin);
    SoundExpander expander(file_, info_.videoOffset);
    for (std::span<const uint8_t> chunk = expander.Next(); !chunk.empty(); chunk = expander.Next()) {
      const size_t take = std::min(chunk.size(), kHeadBytes - head.size());
      head.insert(head.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(take));
    }
    sound.decodedBytes = expander.Decoded();
    info_.sound = sound;
    if (expander.Status() != SoundDecodeStatus::kComplete) {
      in_.FailDamaged(bitsStart, "the bit stream at offset " + Thousands(bitsStart) + " ends at offset " +
                                     Thousands(info_.videoOffset) + " after " + Thousands(sound.decodedBytes) +
                                     " of " + Thousands(sound.decodedLength) + " decoded bytes");
    }
    info_.sound->wav = ParseWavHeader(head);
    const WavFormat& wav = info_.sound->wav;
    if (!wav.problem.empty()) {
      in_.FailDamaged(bitsStart, "the expanded sound " + wav.problem);
    }
    if (wav.dataOffset + int64_t(wav.dataSize) > sound.decodedLength) {
      info_.warnings.push_back("sound track: the WAV's data chunk declares " + Thousands(wav.dataSize) +
                               " bytes, but only " +
                               Thousands(std::max<int64_t>(0, sound.decodedLength - wav.dataOffset)) +
                               " are there");
    }
    if (int64_t(wav.riffSize) + 8 != sound.decodedLength) {
      info_.warnings.push_back("sound track: the RIFF size " + Thousands(wav.riffSize) +
                               " does not match the " + Thousands(sound.decodedLength) +
                               " decoded bytes");
    }
  }

  void VideoHeader() {
    const sp::VideoHeader h = in_.ReadVideoHeader();
    info_.frameWidth = h.FrameWidth;
    info_.frameHeight = h.FrameHeight;
    info_.frameCount = h.FrameCount;
    info_.frameInterval = h.FrameInterval;
    info_.hasCursor = h.HasCursor;
    info_.haveHeader = true;
  }

  void Caption() {
    info_.caption = in_.ReadCaptionStyle();
    info_.haveCaption = true;
  }

  void CheckIcon(int64_t offset, int32_t size) {
    Icon icon;
    try {
      icon.LoadFromStream(buffer_);
    } catch (const Error&) {
      in_.FailDamaged(offset, "icon of " + Thousands(size) + " bytes at offset " + Thousands(offset) +
                                  " is not valid");
    }
  }

  // A JPEG meant to be exactly width x height pixels. The player places a
  // picture by its top-left corner whatever its size, and rejects only one
  // larger than the frame.
  void CheckJpeg(const ImageItem& item, int64_t width, int64_t height) {
    const std::string what =
        "JPEG of " + Thousands(item.size) + " bytes at offset " + Thousands(item.offset) + " ";
    try {
      jpeg_.LoadFromStream(buffer_);
      if (jpeg_.Width() != width || jpeg_.Height() != height) {
        const std::string failure = what + "is " + std::to_string(jpeg_.Width()) + " x " +
                                    std::to_string(jpeg_.Height()) + " pixels instead of " +
                                    std::to_string(width) + " x " + std::to_string(height);
        if (jpeg_.Width() > info_.frameWidth || jpeg_.Height() > info_.frameHeight) {
          in_.FailDamaged(item.offset, failure);
        }
        Warn(failure);
      } else if (options_.jpeg == JpegCheck::FullDecode) {
        jpeg_.AssignTo(decoded_);
      }
    } catch (const Error& e) {
      in_.FailDamaged(item.offset, what + "does not decode (" + e.what() + ")");
    }
  }

  void FirstCursor() {
    ImageItem icon;
    const CursorPosition p = in_.ReadFirstCursor(buffer_, &icon);
    info_.cursorX = p.x;
    info_.cursorY = p.y;
    info_.cursorIconSize = icon.size;
    CheckIcon(icon.offset, icon.size);
  }

  void KeyFrame() {
    const ImageItem key = in_.ReadKeyFrame(buffer_);
    info_.keyFrameOffset = key.offset;
    info_.keyFrameSize = key.size;
    CheckJpeg(key, info_.frameWidth, info_.frameHeight);
    int64_t at = 0;
    if (const int32_t t = in_.ReadFrameZeroTerminator(&at); t != 0) {
      Warn("terminator " + Thousands(t) + " at offset " + Thousands(at) + " instead of 0");
    }
    if (info_.hasCursor == 1) NextCursor(0);
  }

  void NextCursor(int32_t k) {
    const bool last = k == info_.frameCount - 1;
    const int64_t at = in_.Offset();
    const auto next =
        in_.ReadNextCursor(k, last ? PayloadReader::LastFrame::kYes : PayloadReader::LastFrame::kNo);
    if (!next) {
      Warn("the file ends at offset " + Thousands(info_.fileSize) + ", where the last next cursor "
           "position at offset " + Thousands(at) + " should be (never shown)");
    }
  }

  // FrameRecordEvents
  void CursorChange(const ImageItem& icon) override {
    CheckIcon(icon.offset, icon.size);
    info_.cursorChanges.push_back({frame_, icon.offset, icon.size});
  }

  void NegativeCursorChange(int32_t size, int64_t offset) override {
    Warn("cursor change size " + Thousands(size) + " at offset " + Thousands(offset) +
         " (kept as no change)");
  }

  void Block(const BlockItem& block) override {
    const Rect& r = block.rect;
    if (block.frameNumber != frame_) {
      Warn("frame number " + Thousands(block.frameNumber) + " at offset " + Thousands(block.offset) +
           " instead of " + Thousands(frame_));
    }
    // Widths are computed in 64 bits: the corners are untrusted.
    const int64_t width = int64_t(r.right) - r.left;
    const int64_t height = int64_t(r.bottom) - r.top;
    if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide) {
      Warn("rectangle " + RectText(r) + " at offset " + Thousands(block.offset + 4) +
           " is empty or too large");
    } else {
      const Rect frameRect{0, 0, info_.frameWidth, info_.frameHeight};
      if (r.Intersect(frameRect) != r) {
        Warn("rectangle " + RectText(r) + " at offset " + Thousands(block.offset + 4) +
             " is not inside the frame");
      } else if (r.top < previousBottom_) {
        Warn("rectangle " + RectText(r) + " at offset " + Thousands(block.offset + 4) +
             " overlaps the rows of the block before it");
      }
    }
    previousBottom_ = r.bottom;
    covered_ += CoveredPixels(r, info_.frameWidth, info_.frameHeight);
    info_.damagedBlock = std::make_pair(block.offset, block.jpeg.offset + block.jpeg.size);
    CheckJpeg(block.jpeg, width, height);
    info_.damagedBlock.reset();

    BlockStats& stats = info_.blocks;
    ++stats.count;
    stats.bytes += block.jpeg.size;
    if (block.jpeg.size > stats.largestBytes) {
      stats.largestBytes = block.jpeg.size;
      stats.largestFrame = frame_;
      stats.largestIndex = block.index;
      stats.largestRect = r;
    }
  }

  void FrameRecord(int32_t k) {
    frame_ = k;
    previousBottom_ = 0;
    covered_ = 0;
    const bool last = k == info_.frameCount - 1;
    const FrameRecordEnd end = in_.ReadFrameRecord(
        k, info_.hasCursor == 1, last ? PayloadReader::LastFrame::kYes : PayloadReader::LastFrame::kNo,
        buffer_, buffer_, *this);
    if (end.terminator != -k) {
      std::string what = "terminator " + Thousands(end.terminator) + " at offset " +
                         Thousands(end.terminatorOffset) + " instead of " + Thousands(-k);
      // The player's end test compares the terminator with the last frame's.
      if (!last && -int64_t(end.terminator) == int64_t(info_.frameCount) - 1) {
        what += " (the player ends the recording here)";
      } else if (last) {
        what += " (the recording does not end by itself)";
      }
      info_.warnings.push_back("frame " + std::to_string(k) + ": terminator: " + what);
    }
    if (info_.hasCursor == 1 && !end.next) {
      info_.warnings.push_back("frame " + std::to_string(k) + ": next cursor: the file ends at offset " +
                               Thousands(info_.fileSize) + ", where the last next cursor position at offset " +
                               Thousands(in_.Offset()) + " should be (never shown)");
    }
    info_.blocksPerFrame.push_back(end.blocks);
    info_.coveredPerFrame.push_back(covered_);
    info_.blocks.maxPerFrame = std::max(info_.blocks.maxPerFrame, end.blocks);
    if (end.blocks > 0) ++info_.blocks.framesWithBlocks;
    info_.framesRead = k;
  }

  Stream& file_;
  PayloadReader in_;
  const InspectOptions& options_;
  RecordingInfo& info_;
  MemoryStream buffer_;
  JpegImage jpeg_;
  Bitmap decoded_;
  int32_t frame_ = 0;
  int previousBottom_ = 0;
  int64_t covered_ = 0;
};

}  // namespace

RecordingInfo InspectRecording(Stream& file, const InspectOptions& options) {
  RecordingInfo info;
  try {
    Walker(file, options, info).Run();
  } catch (const PayloadEndError& e) {
    info.damage = e.Fault();
    info.damagedBlock.reset();
  } catch (const DamagedRecording& e) {
    info.damage = e.Fault();
    info.damageKind = RecordingInfo::DamageKind::kBadValue;
  }
  return info;
}

}  // namespace sp::tool
