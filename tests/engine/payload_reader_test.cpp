// The payload reader against the recorder's writer: the same items at the
// same offsets, and a failed read that consumes nothing of its item.
#include "payload/payload_reader.h"

#include <gtest/gtest.h>

#include <map>

#include "recorder/payload_writer.h"
#include "recorder/recording_builder.h"
#include "recorder/test_media.h"

namespace sp {
namespace {

using recorder::ItemMark;

struct Written {
  std::vector<uint8_t> file;
  std::vector<ItemMark> marks;
  recorder::Recording recording;
};

Written Sample() {
  Bitmap screen(64, 64);
  recorder::FillTestPattern(screen, 4);
  recorder::RecordingBuilder builder(screen);
  builder.Sound(recorder::ToneWav(0.05)).Interval(120).FirstCursor(7, 9);
  // Two changes two cell rows apart: two blocks, each on the coding grid.
  recorder::FillRect(screen, {0, 0, 64, 16}, 0x00FF00);
  recorder::FillRect(screen, {0, 48, 64, 64}, 0xFF0000);
  builder.AddFrame(screen, recorder::CursorPosition{20, 21});
  builder.AddFrame(screen, std::nullopt, recorder::MakeIconFile(recorder::TextCursor()));
  recorder::FillRect(screen, {4, 4, 20, 12}, 0x123456);
  builder.AddFrame(screen, recorder::CursorPosition{1, 2});
  Written w;
  w.recording = builder.Build();
  w.recording.caption.text = "标题";
  w.recording.caption.x = 3;
  w.recording.caption.bold = 1;
  w.file = recorder::MakeSelfPlaying(recorder::ZeroStub(), w.recording, &w.marks);
  return w;
}

// Every item the reader begins, with its offset.
class Recorder : public FrameRecordEvents {
 public:
  explicit Recorder(PayloadReader& reader) : reader_(reader) {}
  void Note() { items[reader_.Item()] = reader_.ItemOffset(); }
  void CursorChange(const ImageItem&) override { Note(); }
  void Block(const BlockItem& block) override {
    Note();
    blocks.push_back(block);
  }
  std::map<std::string, int64_t> items;
  std::vector<BlockItem> blocks;

 private:
  PayloadReader& reader_;
};

TEST(PayloadReader, NamesEveryItemAtTheOffsetTheRecorderWroteIt) {
  const Written w = Sample();
  ByteViewStream stream(w.file);
  PayloadReader reader(stream);
  Recorder seen(reader);
  MemoryStream icon;
  MemoryStream jpeg;

  const uint32_t lead = reader.ReadLeadWord(PAYLOAD_OFFSET);
  seen.Note();
  stream.Seek(lead, SeekOrigin::Begin);
  const VideoHeader header = reader.ReadVideoHeader();
  seen.Note();
  EXPECT_EQ(header.FrameWidth, 64);
  EXPECT_EQ(header.FrameCount, 4);
  EXPECT_EQ(header.FrameInterval, 120);
  const CaptionStyle caption = reader.ReadCaptionStyle();
  seen.Note();
  EXPECT_EQ(caption.CaptionText, "标题");
  EXPECT_EQ(caption.CaptionX, 3);
  EXPECT_EQ(caption.CaptionBold, 1);
  const CursorPosition first = reader.ReadFirstCursor(icon);
  seen.Note();
  EXPECT_EQ(first.x, 7);
  EXPECT_EQ(first.y, 9);
  EXPECT_EQ(icon.Bytes(), w.recording.cursorIcon);
  reader.ReadKeyFrame(jpeg);
  seen.Note();
  EXPECT_EQ(jpeg.Bytes(), w.recording.keyFrame);
  EXPECT_EQ(reader.ReadFrameZeroTerminator(), 0);
  seen.Note();
  ASSERT_TRUE(reader.ReadNextCursor(0, PayloadReader::LastFrame::kNo));
  seen.Note();
  for (int32_t k = 1; k < header.FrameCount; ++k) {
    const auto last = k == header.FrameCount - 1 ? PayloadReader::LastFrame::kYes
                                                 : PayloadReader::LastFrame::kNo;
    const FrameRecordEnd end = reader.ReadFrameRecord(k, true, last, icon, jpeg, seen);
    EXPECT_EQ(end.terminator, -k);
    EXPECT_EQ(end.blocks, static_cast<int>(w.recording.frames[k - 1].blocks.size()));
    ASSERT_TRUE(end.next);
    EXPECT_EQ(end.next->x, w.recording.frames[k - 1].nextCursorX);
  }
  EXPECT_EQ(reader.Remaining(), 0);

  // The walk's names are the recorder's, at the recorder's offsets; the
  // frame records' own items (terminator, cursor change) are checked by the
  // blocks they frame.
  for (const ItemMark& mark : w.marks) {
    if (mark.item == "sound track" || mark.item.find("terminator") != std::string::npos ||
        mark.item.find("next cursor") != std::string::npos ||
        mark.item.find("cursor change") != std::string::npos) {
      continue;
    }
    ASSERT_TRUE(seen.items.count(mark.item)) << mark.item;
    EXPECT_EQ(seen.items[mark.item], mark.offset) << mark.item;
  }
  EXPECT_EQ(seen.items.count("frame 2: cursor change"), 1u);
  ASSERT_EQ(seen.blocks.size(), 3u);
  EXPECT_EQ(seen.blocks[0].rect.top, 0);
  EXPECT_EQ(seen.blocks[1].rect.top, 48);
}

TEST(PayloadReader, AFailedReadConsumesNothingOfItsItem) {
  const Written w = Sample();
  int64_t block = 0;
  for (const ItemMark& mark : w.marks) {
    if (mark.item == "frame 3: block 0") block = mark.offset;
  }
  ASSERT_GT(block, 0);
  for (int64_t into : {2, 10, 23, 30}) {
    SCOPED_TRACE(into);
    const std::vector<uint8_t> cut(w.file.begin(), w.file.begin() + block + into);
    ByteViewStream stream(cut);
    PayloadReader reader(stream);
    MemoryStream icon;
    MemoryStream jpeg;
    struct Ignore : FrameRecordEvents {
      void Block(const BlockItem&) override {}
    } ignore;
    // The cursor change of frame 3 lies before the block: start there.
    int64_t change = 0;
    for (const ItemMark& mark : w.marks) {
      if (mark.item == "frame 3: cursor change") change = mark.offset;
    }
    stream.Seek(change, SeekOrigin::Begin);
    try {
      reader.ReadFrameRecord(3, true, PayloadReader::LastFrame::kYes, icon, jpeg, ignore);
      ADD_FAILURE() << "no error";
    } catch (const PayloadEndError& e) {
      // The frame number alone names the frame; behind it, the block.
      EXPECT_EQ(e.Fault().item, into < 4 ? "frame 3" : "frame 3: block 0");
      EXPECT_STREQ(e.what(), "Stream read error");
      EXPECT_EQ(stream.Position(), block);
    }
  }
}

TEST(PayloadReader, AMissingLastNextPositionIsNoErrorAnywhereElseItIs) {
  const Written w = Sample();
  const std::vector<uint8_t> cut(w.file.begin(), w.file.end() - 3);
  ByteViewStream stream(cut);
  PayloadReader reader(stream);
  stream.Seek(static_cast<int64_t>(cut.size()) - 5, SeekOrigin::Begin);
  EXPECT_FALSE(reader.ReadNextCursor(3, PayloadReader::LastFrame::kYes));
  EXPECT_THROW(reader.ReadNextCursor(2, PayloadReader::LastFrame::kNo), PayloadEndError);
}

TEST(PayloadReader, HeaderValuesNoRecorderWritesAreDamageWithTheirOffset) {
  Written w = Sample();
  w.recording.frameInterval = 39;
  const std::vector<uint8_t> file = recorder::MakeSelfPlaying(recorder::ZeroStub(), w.recording);
  ByteViewStream stream(file);
  try {
    ReadPayloadHead(stream);
    ADD_FAILURE() << "no error";
  } catch (const DamagedRecording& e) {
    EXPECT_EQ(e.Fault().item, "video header");
    EXPECT_NE(e.Fault().message.find("frame interval 39 ms at offset"), std::string::npos);
  }
  ByteViewStream again(file);
  EXPECT_EQ(ReadPayloadHead(again, PAYLOAD_OFFSET, PayloadReader::HeaderCheck::kNone).header.FrameInterval,
            39);
}

}  // namespace
}  // namespace sp
