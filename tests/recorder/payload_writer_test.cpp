#include "recorder/payload_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>

#include "recorder/sound_coder.h"

namespace sp::recorder {
namespace {

constexpr uint32_t kOffset = 1000;  // a small stub keeps offsets readable

int32_t Int32At(const std::vector<uint8_t>& bytes, int64_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | bytes.at(static_cast<size_t>(at + i));
  return static_cast<int32_t>(v);
}

// Reads the payload's integers from a file offset onwards.
class Cursor {
 public:
  Cursor(const std::vector<uint8_t>& payload, int64_t fileOffset)
      : payload_(payload), at_(fileOffset - kOffset) {}
  int32_t Int() {
    const int32_t v = Int32At(payload_, at_);
    at_ += 4;
    return v;
  }
  std::vector<uint8_t> Bytes(size_t n) {
    std::vector<uint8_t> out(payload_.begin() + at_, payload_.begin() + at_ + n);
    at_ += static_cast<int64_t>(n);
    return out;
  }
  int64_t FileOffset() const { return at_ + kOffset; }

 private:
  const std::vector<uint8_t>& payload_;
  int64_t at_;
};

std::map<std::string, int64_t> ByName(const std::vector<ItemMark>& marks) {
  std::map<std::string, int64_t> m;
  for (const ItemMark& mark : marks) m[mark.item] = mark.offset;
  return m;
}

Recording FiveFrames() {
  Recording rec;
  rec.frameWidth = 800;
  rec.frameHeight = 600;
  rec.frameInterval = 1000;
  rec.reserved = {11, 12, 13, 14, 15};
  rec.cursorX = 3;
  rec.cursorY = 4;
  rec.cursorIcon = {9, 9, 9};
  rec.keyFrame = {0xFF, 0xD8, 0xFF, 0xD9};
  rec.nextCursorX = 30;
  rec.nextCursorY = 40;
  rec.frames.resize(5);
  for (int k = 1; k <= 5; ++k) {
    rec.frames[k - 1].nextCursorX = 100 + k;
    rec.frames[k - 1].nextCursorY = 200 + k;
  }
  rec.frames[4].blocks.push_back({{364, 279, 554, 390}, {1, 2, 3, 4, 5, 6}, {}, {}});
  return rec;
}

TEST(PayloadWriter, WithoutSoundTheLeadWordIsZeroAndTheHeaderFollows) {
  std::vector<ItemMark> marks;
  const std::vector<uint8_t> p = WritePayload(FiveFrames(), kOffset, &marks);
  const auto at = ByName(marks);
  EXPECT_EQ(Int32At(p, 0), 0);
  EXPECT_EQ(at.at("lead word"), kOffset);
  EXPECT_EQ(at.count("sound track"), 0u);
  ASSERT_EQ(at.at("video header"), kOffset + 4);

  Cursor c(p, at.at("video header"));
  const std::vector<int32_t> header = {11, 800, 600, 6, 12, 1000, 13, 14, 15, 1};
  for (int32_t expected : header) EXPECT_EQ(c.Int(), expected);
  EXPECT_EQ(at.at("caption style"), c.FileOffset() + 40);
}

TEST(PayloadWriter, WithSoundTheLeadWordIsTheVideoStreamsFileOffset) {
  Recording rec = FiveFrames();
  rec.wav = MakeWav8Mono(std::vector<uint8_t>(300, 128));
  std::vector<ItemMark> marks;
  const std::vector<uint8_t> p = WritePayload(rec, kOffset, &marks);
  const auto at = ByName(marks);
  const std::vector<uint8_t> sound = EncodeSoundTrack(rec.wav);
  EXPECT_EQ(static_cast<uint32_t>(Int32At(p, 0)), kOffset + 4 + sound.size());
  EXPECT_EQ(at.at("sound track"), kOffset + 4);
  EXPECT_EQ(at.at("video header"), Int32At(p, 0));
  EXPECT_TRUE(std::equal(sound.begin(), sound.end(), p.begin() + 4));
}

TEST(PayloadWriter, FrameRecordsFollowTheLayout) {
  std::vector<ItemMark> marks;
  const Recording rec = FiveFrames();
  const std::vector<uint8_t> p = WritePayload(rec, kOffset, &marks);
  const auto at = ByName(marks);

  Cursor first(p, at.at("first cursor"));
  EXPECT_EQ(first.Int(), 3);
  EXPECT_EQ(first.Int(), 4);
  EXPECT_EQ(first.Int(), 3);
  EXPECT_EQ(first.Bytes(3), rec.cursorIcon);
  EXPECT_EQ(first.FileOffset(), at.at("key frame"));
  EXPECT_EQ(first.Int(), 4);
  EXPECT_EQ(first.Bytes(4), rec.keyFrame);
  EXPECT_EQ(first.FileOffset(), at.at("frame 0 terminator"));
  EXPECT_EQ(first.Int(), 0);
  EXPECT_EQ(first.Int(), 30);
  EXPECT_EQ(first.Int(), 40);
  EXPECT_EQ(first.FileOffset(), at.at("frame 1: cursor change"));

  // Frame 5: S, k, left, top, right, bottom, J, the JPEG, -k, next cursor.
  Cursor c(p, at.at("frame 5: cursor change"));
  for (int32_t expected : {0, 5, 364, 279, 554, 390, 6}) EXPECT_EQ(c.Int(), expected);
  EXPECT_EQ(c.Bytes(6), rec.frames[4].blocks[0].jpeg);
  for (int32_t expected : {-5, 105, 205}) EXPECT_EQ(c.Int(), expected);
  EXPECT_EQ(c.FileOffset(), kOffset + static_cast<int64_t>(p.size()));

  // An unchanged frame: cursor change, terminator, next position.
  Cursor empty(p, at.at("frame 2: cursor change"));
  for (int32_t expected : {0, -2, 102, 202}) EXPECT_EQ(empty.Int(), expected);
}

TEST(PayloadWriter, WithoutCursorNoCursorItemIsWritten) {
  Recording rec = FiveFrames();
  rec.hasCursor = 0;
  std::vector<ItemMark> marks;
  const std::vector<uint8_t> p = WritePayload(rec, kOffset, &marks);
  const auto at = ByName(marks);
  EXPECT_EQ(at.count("first cursor"), 0u);
  EXPECT_EQ(at.count("next cursor 1"), 0u);
  EXPECT_EQ(at.count("frame 3: cursor change"), 0u);
  EXPECT_EQ(at.at("key frame"), at.at("caption style") + 80);
  Cursor c(p, at.at("frame 0 terminator"));
  EXPECT_EQ(c.Int(), 0);
  EXPECT_EQ(c.Int(), -1);
  EXPECT_EQ(c.Int(), -2);
  EXPECT_EQ(c.Int(), -3);
  EXPECT_EQ(c.Int(), -4);
  EXPECT_EQ(c.Int(), 5);
}

TEST(PayloadWriter, OverridesReplaceTheComputedValues) {
  Recording rec = FiveFrames();
  rec.frameCountOverride = 99;
  rec.cursorIconSizeOverride = 5000;
  rec.keyFrameSizeOverride = 0;
  rec.frames[0].cursorChangeSize = -3;
  rec.frames[1].cursorIcon = {7, 7};
  rec.frames[4].blocks[0].sizeOverride = 1 << 30;
  rec.frames[4].blocks[0].frameOverride = -1;
  std::vector<ItemMark> marks;
  const std::vector<uint8_t> p = WritePayload(rec, kOffset, &marks);
  const auto at = ByName(marks);
  EXPECT_EQ(Int32At(p, at.at("video header") + 12 - kOffset), 99);
  EXPECT_EQ(Int32At(p, at.at("first cursor") + 8 - kOffset), 5000);
  EXPECT_EQ(Int32At(p, at.at("key frame") - kOffset), 0);
  EXPECT_EQ(Int32At(p, at.at("frame 1: cursor change") - kOffset), -3);
  Cursor change(p, at.at("frame 2: cursor change"));
  EXPECT_EQ(change.Int(), 2);
  EXPECT_EQ(change.Bytes(2), (std::vector<uint8_t>{7, 7}));
  EXPECT_EQ(change.FileOffset(), at.at("frame 2: terminator"));
  Cursor block(p, at.at("frame 5: block 0"));
  EXPECT_EQ(block.Int(), -1);
  for (int i = 0; i < 4; ++i) block.Int();
  EXPECT_EQ(block.Int(), 1 << 30);
  // The bytes written are still the block's own.
  EXPECT_EQ(block.Bytes(6), rec.frames[4].blocks[0].jpeg);
}

TEST(PayloadWriter, CaptionFieldsAreGbkWithLeftoversAfterTheZero) {
  Recording rec = FiveFrames();
  rec.caption.text = "中文";
  rec.caption.textLeftovers = "old";
  rec.caption.x = 21;
  rec.caption.y = 22;
  rec.caption.fontSize = 12;
  rec.caption.fontName = "宋体";
  rec.caption.fontNameLeftovers = std::string(30, 'L');  // cut at the field's end
  rec.caption.fontColor = 0x00112233;
  rec.caption.bold = 1;
  rec.caption.italic = 2;
  rec.caption.underline = 0;
  rec.caption.strikeOut = 1;
  std::vector<ItemMark> marks;
  const std::vector<uint8_t> p = WritePayload(rec, kOffset, &marks);
  Cursor c(p, ByName(marks).at("caption style"));
  std::vector<uint8_t> text(40, 0);
  const uint8_t gbkText[] = {0xD6, 0xD0, 0xCE, 0xC4, 0, 'o', 'l', 'd'};
  std::copy(std::begin(gbkText), std::end(gbkText), text.begin());
  EXPECT_EQ(c.Bytes(40), text);
  EXPECT_EQ(c.Int(), 21);
  EXPECT_EQ(c.Int(), 22);
  EXPECT_EQ(c.Int(), 12);
  std::vector<uint8_t> font(20, 'L');
  const uint8_t gbkFont[] = {0xCB, 0xCE, 0xCC, 0xE5, 0};
  std::copy(std::begin(gbkFont), std::end(gbkFont), font.begin());
  EXPECT_EQ(c.Bytes(20), font);
  EXPECT_EQ(c.Int(), 0x00112233);
  EXPECT_EQ(c.Bytes(4), (std::vector<uint8_t>{1, 2, 0, 1}));
  EXPECT_EQ(c.FileOffset(), ByName(marks).at("first cursor"));
}

TEST(PayloadWriter, TextsThatFillTheirFieldHaveNoZero) {
  Recording rec = FiveFrames();
  rec.caption.text = std::string(40, 'A');
  rec.caption.textLeftovers = "never";
  rec.caption.fontName = std::string(25, 'F');  // longer than its field: cut
  rec.caption.x = 77;
  std::vector<ItemMark> marks;
  const std::vector<uint8_t> p = WritePayload(rec, kOffset, &marks);
  Cursor c(p, ByName(marks).at("caption style"));
  EXPECT_EQ(c.Bytes(40), std::vector<uint8_t>(40, 'A'));
  EXPECT_EQ(c.Int(), 77);
  c.Int();
  c.Int();
  EXPECT_EQ(c.Bytes(20), std::vector<uint8_t>(20, 'F'));
}

TEST(PayloadWriter, MarksRiseThroughThePayload) {
  Recording rec = FiveFrames();
  rec.wav = MakeWav8Mono(std::vector<uint8_t>(50, 1));
  rec.frames[2].blocks.push_back({{0, 0, 8, 8}, {1}, {}, {}});
  rec.frames[2].blocks.push_back({{0, 8, 8, 16}, {2}, {}, {}});
  std::vector<ItemMark> marks;
  const std::vector<uint8_t> p = WritePayload(rec, kOffset, &marks);
  ASSERT_FALSE(marks.empty());
  EXPECT_EQ(marks.front().item, "lead word");
  EXPECT_EQ(marks.back().item, "frame 5: next cursor");
  for (size_t i = 1; i < marks.size(); ++i) {
    EXPECT_LT(marks[i - 1].offset, marks[i].offset) << marks[i].item;
  }
  EXPECT_LT(marks.back().offset, kOffset + static_cast<int64_t>(p.size()));
  const auto at = ByName(marks);
  EXPECT_EQ(at.at("frame 3: block 1") - at.at("frame 3: block 0"), 4 + 16 + 4 + 1);
  // 1 lead + 1 sound + header + caption + first cursor + key + terminator 0
  // + next 1 + 5 frames x 3 + 3 blocks.
  EXPECT_EQ(marks.size(), 8u + 15u + 3u);
}

TEST(PayloadWriter, SelfPlayingFileIsTheStubThenThePayload) {
  const std::vector<uint8_t> stub = ZeroStub(kOffset);
  EXPECT_EQ(stub, std::vector<uint8_t>(kOffset, 0));
  EXPECT_EQ(ZeroStub().size(), PAYLOAD_OFFSET);
  std::vector<ItemMark> fileMarks;
  std::vector<ItemMark> payloadMarks;
  const std::vector<uint8_t> file = MakeSelfPlaying(stub, FiveFrames(), &fileMarks);
  const std::vector<uint8_t> payload = WritePayload(FiveFrames(), kOffset, &payloadMarks);
  ASSERT_EQ(file.size(), stub.size() + payload.size());
  EXPECT_TRUE(std::equal(payload.begin(), payload.end(), file.begin() + kOffset));
  ASSERT_EQ(fileMarks.size(), payloadMarks.size());
  EXPECT_EQ(fileMarks[2].offset, payloadMarks[2].offset);
}

TEST(PayloadWriter, WriteFileWritesBytesOrReportsFailure) {
  const std::string path = ::testing::TempDir() + "recorder_write_file_test.bin";
  const std::vector<uint8_t> bytes = {0, 1, 2, 0xFF, 0x0A, 0x0D};
  ASSERT_TRUE(WriteFile(path, bytes));
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(back, bytes);
  std::remove(path.c_str());
  EXPECT_FALSE(WriteFile(::testing::TempDir() + "no-such-folder/x.bin", bytes));
}

}  // namespace
}  // namespace sp::recorder
