#include "tools/inspect.h"

#include <algorithm>

#include "payload/sound_table_decoder.h"
#include "platform/bitmap.h"
#include "platform/errors.h"
#include "platform/icon.h"
#include "platform/jpeg_image.h"
#include "platform/stream.h"
#include "platform/text.h"
#include "tools/text_format.h"

namespace sp::tool {
namespace {

// Raised inside the walk; InspectRecording turns it into RecordingInfo::damage.
struct DamageFound {
  Damage damage;
};

std::string RectText(const Rect& r) {
  return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " +
         std::to_string(r.right) + ", " + std::to_string(r.bottom) + ")";
}

// Reads the items of one file forward, naming the item being read so that
// every failure says where it happened.
class ItemReader {
 public:
  explicit ItemReader(Stream& file) : file_(file), size_(file.Size()) {}

  int64_t Offset() const { return file_.Position(); }
  int64_t FileSize() const { return size_; }
  int64_t Remaining() const { return size_ - file_.Position(); }
  void Begin(std::string item) { item_ = std::move(item); }
  const std::string& Item() const { return item_; }

  [[noreturn]] void Fail(int64_t offset, const std::string& what) const {
    throw DamageFound{{item_, offset, item_ + ": " + what}};
  }

  int32_t Int32(const char* what) {
    const int64_t at = Offset();
    if (Remaining() < 4) {
      if (Remaining() == 0) {
        Fail(at, "the file ends at offset " + Thousands(at) + ", where the " + what +
                     " should begin");
      }
      Fail(at, "the file ends at offset " + Thousands(size_) + ", inside the " + what +
                   " at offset " + Thousands(at));
    }
    return file_.ReadInt32();
  }

  void Skip(int64_t count, const char* what) {
    const int64_t at = Offset();
    if (Remaining() < count) {
      Fail(at, "the " + std::string(what) + " of " + Thousands(count) + " bytes at offset " +
                   Thousands(at) + " runs past the end of the file at offset " + Thousands(size_));
    }
    file_.Seek(count, SeekOrigin::Current);
  }

  std::vector<uint8_t> Bytes(size_t count, const char* what) {
    const int64_t at = Offset();
    if (Remaining() < static_cast<int64_t>(count)) {
      Fail(at, "the " + std::string(what) + " of " + Thousands(static_cast<int64_t>(count)) +
                   " bytes at offset " + Thousands(at) + " runs past the end of the file at offset " +
                   Thousands(size_));
    }
    std::vector<uint8_t> bytes(count);
    file_.ReadBuffer(bytes.data(), count);
    return bytes;
  }

  // A size integer, then that many bytes copied into buffer; dataOffset
  // gets where the bytes begin. kind names them ("JPEG", "icon").
  void SizedItem(const char* kind, MemoryStream& buffer, int64_t* dataOffset, int32_t* size) {
    const int64_t at = Offset();
    const int32_t n = Int32((std::string(kind) + " size").c_str());
    if (n <= 0) {
      Fail(at, std::string(kind) + " size " + Thousands(n) + " at offset " + Thousands(at) +
                   " is not positive");
    }
    const int64_t start = Offset();
    if (Remaining() < n) {
      Fail(start, std::string(kind) + " of " + Thousands(n) + " bytes at offset " +
                      Thousands(start) + " runs past the end of the file at offset " +
                      Thousands(size_));
    }
    buffer.Clear();
    buffer.CopyFrom(file_, n);
    buffer.Seek(0, SeekOrigin::Begin);
    *dataOffset = start;
    *size = n;
  }

  Stream& File() { return file_; }

 private:
  Stream& file_;
  int64_t size_;
  std::string item_;
};

class Walker {
 public:
  Walker(Stream& file, const InspectOptions& options, RecordingInfo& info)
      : in_(file), options_(options), info_(info) {}

  void Run() {
    info_.fileSize = in_.FileSize();
    info_.payloadOffset = options_.payloadOffset;
    LeadWord();
    if (info_.leadWord != 0) SoundTrack();
    in_.File().Seek(info_.videoOffset, SeekOrigin::Begin);
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
  void LeadWord() {
    in_.Begin("lead word");
    if (info_.fileSize < options_.payloadOffset) {
      in_.Fail(info_.fileSize, "the file of " + Thousands(info_.fileSize) +
                                   " bytes ends before the payload offset " +
                                   Thousands(options_.payloadOffset));
    }
    in_.File().Seek(options_.payloadOffset, SeekOrigin::Begin);
    info_.leadWord = static_cast<uint32_t>(in_.Int32("lead word"));
    info_.videoOffset = info_.leadWord == 0 ? int64_t(options_.payloadOffset) + 4 : info_.leadWord;
  }

  void SoundTrack() {
    const int64_t start = in_.Offset();
    const int64_t bitsStart = start + int64_t(kHuffTreeBytes) + 4;
    if (info_.videoOffset < bitsStart) {
      in_.Fail(start - 4, "the lead word points the video stream at offset " +
                              Thousands(info_.videoOffset) + ", inside the sound track's " +
                              Thousands(bitsStart - start) + " bytes of code tree and length at offset " +
                              Thousands(start));
    }
    if (info_.videoOffset > info_.fileSize) {
      in_.Fail(start - 4, "the lead word points the video stream at offset " +
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
      in_.Fail(start, "the code tree at offset " + Thousands(start) + " is not a tree: " + problem);
    }
    sound.decodedLength = in_.Int32("decoded length");
    if (sound.decodedLength < 0) {
      in_.Fail(bitsStart - 4, "the decoded length " + Thousands(sound.decodedLength) +
                                  " at offset " + Thousands(bitsStart - 4) + " is negative");
    }
    // The bit stream is expanded piece by piece; only the WAV's head is kept.
    constexpr size_t kHeadBytes = 64 * 1024;
    std::vector<uint8_t> head;
    const SoundTableDecoder decoder(tree);
    SoundExpansion expansion(sound.decodedLength);
    std::vector<uint8_t> piece(1 << 16);
    std::vector<uint8_t> out;
    while (expansion.WantsInput() && in_.Offset() < info_.videoOffset) {
      const size_t want = static_cast<size_t>(
          std::min<int64_t>(static_cast<int64_t>(piece.size()), info_.videoOffset - in_.Offset()));
      in_.File().ReadBuffer(piece.data(), want);
      out.clear();
      decoder.Expand(expansion, std::span<const uint8_t>(piece.data(), want), out);
      const size_t take = std::min(out.size(), kHeadBytes - head.size());
      head.insert(head.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(take));
    }
    sound.decodedBytes = int64_t(sound.decodedLength) - expansion.remaining;
    info_.sound = sound;
    if (expansion.status != SoundDecodeStatus::kComplete) {
      in_.Fail(bitsStart, "the bit stream at offset " + Thousands(bitsStart) + " ends at offset " +
                              Thousands(info_.videoOffset) + " after " + Thousands(sound.decodedBytes) +
                              " of " + Thousands(sound.decodedLength) + " decoded bytes");
    }
    info_.sound->wav = ParseWavHeader(head);
    const WavFormat& wav = info_.sound->wav;
    if (!wav.problem.empty()) {
      in_.Fail(bitsStart, "the expanded sound " + wav.problem);
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
    in_.Begin("video header");
    const int64_t at = in_.Offset();
    int32_t field[10];
    for (int32_t& value : field) value = in_.Int32("video header");
    info_.frameWidth = field[1];
    info_.frameHeight = field[2];
    info_.frameCount = field[3];
    info_.frameInterval = field[5];
    info_.hasCursor = field[9];
    auto side = [&](const char* name, int32_t value, int64_t offset) {
      if (value <= 0 || value > kMaxFrameSide) {
        in_.Fail(at, std::string("frame ") + name + " " + Thousands(value) + " at offset " +
                         Thousands(offset) + " is outside 1 to " + Thousands(kMaxFrameSide));
      }
    };
    side("width", info_.frameWidth, at + 4);
    side("height", info_.frameHeight, at + 8);
    if (info_.frameCount < 1) {
      in_.Fail(at, "frame count " + Thousands(info_.frameCount) + " at offset " + Thousands(at + 12) +
                       " is below 1");
    }
    if (info_.frameInterval < kMinFrameInterval) {
      in_.Fail(at, "frame interval " + Thousands(info_.frameInterval) + " ms at offset " +
                       Thousands(at + 20) + " is below " + std::to_string(kMinFrameInterval) + " ms");
    }
    info_.haveHeader = true;
    in_.Skip(kSkippedFieldBytes, "two fields behind the video header");
  }

  void Caption() {
    in_.Begin("caption style");
    const std::vector<uint8_t> raw = in_.Bytes(kCaptionStyleBytes, "caption style");
    auto int32At = [&](size_t offset) {
      const uint8_t* p = raw.data() + offset;
      return static_cast<int32_t>(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                                  uint32_t(p[3]) << 24);
    };
    CaptionInfo& c = info_.caption;
    c.text = DecodeGbkField(reinterpret_cast<const char*>(raw.data()), kCaptionTextBytes);
    c.x = int32At(40);
    c.y = int32At(44);
    c.fontSize = int32At(48);
    c.fontName = DecodeGbkField(reinterpret_cast<const char*>(raw.data() + 52), kFontNameBytes);
    c.fontColor = static_cast<uint32_t>(int32At(72));
    c.bold = raw[76];
    c.italic = raw[77];
    c.underline = raw[78];
    c.strikeOut = raw[79];
    info_.haveCaption = true;
  }

  void CheckIcon(int64_t offset, int32_t size) {
    Icon icon;
    try {
      icon.LoadFromStream(buffer_);
    } catch (const Error&) {
      in_.Fail(offset, "icon of " + Thousands(size) + " bytes at offset " + Thousands(offset) +
                           " is not valid");
    }
  }

  // A JPEG that must decode to exactly width x height pixels.
  void CheckJpeg(int64_t offset, int32_t size, int width, int height) {
    std::string failure;
    try {
      jpeg_.LoadFromStream(buffer_);
      if (jpeg_.Width() != width || jpeg_.Height() != height) {
        failure = "is " + std::to_string(jpeg_.Width()) + " x " + std::to_string(jpeg_.Height()) +
                  " pixels instead of " + std::to_string(width) + " x " + std::to_string(height);
      } else if (options_.jpeg == JpegCheck::FullDecode) {
        jpeg_.AssignTo(decoded_);
      }
    } catch (const Error& e) {
      failure = std::string("does not decode (") + e.what() + ")";
    }
    if (!failure.empty()) {
      in_.Fail(offset, "JPEG of " + Thousands(size) + " bytes at offset " + Thousands(offset) + " " +
                           failure);
    }
  }

  void FirstCursor() {
    in_.Begin("first cursor");
    info_.cursorX = in_.Int32("cursor x");
    info_.cursorY = in_.Int32("cursor y");
    int64_t offset = 0;
    in_.SizedItem("icon", buffer_, &offset, &info_.cursorIconSize);
    CheckIcon(offset, info_.cursorIconSize);
  }

  void KeyFrame() {
    in_.Begin("key frame");
    in_.SizedItem("JPEG", buffer_, &info_.keyFrameOffset, &info_.keyFrameSize);
    CheckJpeg(info_.keyFrameOffset, info_.keyFrameSize, info_.frameWidth, info_.frameHeight);
    in_.Begin("frame 0 terminator");
    const int64_t at = in_.Offset();
    if (const int32_t t = in_.Int32("terminator"); t != 0) {
      in_.Fail(at, "terminator " + Thousands(t) + " at offset " + Thousands(at) + " instead of 0");
    }
    if (info_.hasCursor == 1) {
      in_.Begin("next cursor 1");
      in_.Int32("cursor x");
      in_.Int32("cursor y");
    }
  }

  void FrameRecord(int32_t k) {
    const std::string frame = "frame " + std::to_string(k);
    if (info_.hasCursor == 1) {
      in_.Begin(frame + ": cursor change");
      const int64_t at = in_.Offset();
      const int32_t s = in_.Int32("cursor change size");
      if (s > 0) {
        if (in_.Remaining() < s) {
          in_.Fail(at + 4, "icon of " + Thousands(s) + " bytes at offset " + Thousands(at + 4) +
                               " runs past the end of the file at offset " + Thousands(in_.FileSize()));
        }
        buffer_.Clear();
        buffer_.CopyFrom(in_.File(), s);
        buffer_.Seek(0, SeekOrigin::Begin);
        CheckIcon(at + 4, s);
        info_.cursorChanges.push_back({k, at + 4, s});
      } else if (s < 0) {
        info_.warnings.push_back(frame + ": cursor change size " + Thousands(s) + " at offset " +
                                 Thousands(at) + " (kept as no change)");
      }
    }
    int32_t index = 0;
    int previousBottom = 0;
    for (;;) {
      in_.Begin(frame);
      const int64_t at = in_.Offset();
      const int32_t m = in_.Int32(("block " + std::to_string(index) + " or the terminator").c_str());
      if (m <= 0) {
        in_.Begin(frame + ": terminator");
        if (m != -k) {
          in_.Fail(at, "terminator " + Thousands(m) + " at offset " + Thousands(at) + " instead of " +
                           Thousands(-k));
        }
        break;
      }
      in_.Begin(frame + ": block " + std::to_string(index));
      if (m != k) {
        in_.Fail(at, "frame number " + Thousands(m) + " at offset " + Thousands(at) + " instead of " +
                         Thousands(k));
      }
      Rect r;
      r.left = in_.Int32("rectangle");
      r.top = in_.Int32("rectangle");
      r.right = in_.Int32("rectangle");
      r.bottom = in_.Int32("rectangle");
      // Widths are computed in 64 bits: the corners are untrusted.
      const int64_t width = int64_t(r.right) - r.left;
      const int64_t height = int64_t(r.bottom) - r.top;
      if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide) {
        in_.Fail(at, "rectangle " + RectText(r) + " at offset " + Thousands(at + 4) +
                         " is empty or too large");
      }
      const Rect frameRect{0, 0, info_.frameWidth, info_.frameHeight};
      if (r.Intersect(frameRect) != r) {
        info_.warnings.push_back(in_.Item() + ": rectangle " + RectText(r) + " at offset " +
                                 Thousands(at + 4) + " is not inside the frame");
      } else if (r.top < previousBottom) {
        info_.warnings.push_back(in_.Item() + ": rectangle " + RectText(r) + " at offset " +
                                 Thousands(at + 4) + " overlaps the rows of the block before it");
      }
      previousBottom = r.bottom;
      int64_t offset = 0;
      int32_t size = 0;
      in_.SizedItem("JPEG", buffer_, &offset, &size);
      CheckJpeg(offset, size, static_cast<int>(width), static_cast<int>(height));

      BlockStats& stats = info_.blocks;
      ++stats.count;
      stats.bytes += size;
      if (size > stats.largestBytes) {
        stats.largestBytes = size;
        stats.largestFrame = k;
        stats.largestIndex = index;
        stats.largestRect = r;
      }
      ++index;
    }
    if (info_.hasCursor == 1) {
      in_.Begin(frame + ": next cursor");
      in_.Int32("cursor x");
      in_.Int32("cursor y");
    }
    info_.blocksPerFrame.push_back(index);
    info_.blocks.maxPerFrame = std::max(info_.blocks.maxPerFrame, index);
    if (index > 0) ++info_.blocks.framesWithBlocks;
    info_.framesRead = k;
  }

  ItemReader in_;
  const InspectOptions& options_;
  RecordingInfo& info_;
  MemoryStream buffer_;
  JpegImage jpeg_;
  Bitmap decoded_;
};

}  // namespace

RecordingInfo InspectRecording(Stream& file, const InspectOptions& options) {
  RecordingInfo info;
  try {
    Walker(file, options, info).Run();
  } catch (DamageFound& found) {
    info.damage = std::move(found.damage);
  }
  return info;
}

}  // namespace sp::tool
