// The sound track: its expansion into the temporary file, and the device
// each playback opens and closes.

#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "payload/c_file.h"
#include "payload/sound_track.h"
#include "recorder/byte_writer.h"
#include "recorder/sound_coder.h"
#include "tests/engine/engine_fixture.h"

namespace sp::testing {
namespace {

using recorder::RecordingBuilder;

std::vector<uint8_t> ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A tree that codes 'A' as 1 and 'B' as 0, every other node a leaf of -1s.
std::vector<uint8_t> TwoLeafTrack(int32_t length, const std::vector<uint8_t>& bits,
                                  int32_t rootOne = 'A') {
  std::vector<uint8_t> item;
  recorder::ByteWriter out(item);
  for (int i = 0; i < kHuffNodeCount; ++i) {
    bool root = i == kHuffRoot;
    out.Int32(0);
    out.Int32(root ? -1 : kHuffRoot);
    out.Int32(root ? rootOne : -1);
    out.Int32(root ? 'B' : -1);
  }
  out.Int32(length);
  out.Bytes(bits);
  return item;
}

class SoundTrackTest : public EngineTest {
 protected:
  // Expands a sound-track item into `expanded`.
  SoundTrackResult Expand(const std::vector<uint8_t>& item, std::vector<uint8_t>& expanded) {
    std::filesystem::path in = dir / "track.bin";
    std::filesystem::path out = dir / "out.wav";
    EXPECT_TRUE(recorder::WriteFile(in.string(), item));
    CFile file(std::fopen(in.c_str(), "rb"));
    SoundTrackResult result = DecodeSoundTrack(out.string(), file.get());
    expanded = ReadAll(out);
    return result;
  }
};

TEST_F(SoundTrackTest, ExpansionGivesBackTheRecordedBytesAtBufferBoundaries) {
  for (size_t length : {size_t{0}, size_t{1}, size_t{9999}, size_t{10000}, size_t{10001},
                        size_t{20000}}) {
    SCOPED_TRACE(::testing::Message() << "L = " << length);
    std::vector<uint8_t> bytes = recorder::ToneSamples(length, 7);
    std::vector<uint8_t> expanded{1, 2, 3};
    EXPECT_EQ(Expand(recorder::EncodeSoundTrack(bytes), expanded), SoundTrackResult::kWritten);
    EXPECT_EQ(expanded, bytes);
  }
}

TEST_F(SoundTrackTest, RealisticTrackIsByteEqualAndTrailingBytesAreIgnored) {
  std::vector<uint8_t> wav = recorder::ToneWav(4.0, 3);
  std::vector<uint8_t> item = recorder::EncodeSoundTrack(wav);
  // What follows the bit stream in a payload is the video stream.
  item.insert(item.end(), 64, 0xFF);
  std::vector<uint8_t> expanded;
  EXPECT_EQ(Expand(item, expanded), SoundTrackResult::kWritten);
  EXPECT_EQ(expanded, wav);
}

TEST_F(SoundTrackTest, EndOfFileStopsWithoutAPhantomByte) {
  // 'A' is a single 1 bit, so a byte of eight 1s would add eight of them.
  std::vector<uint8_t> expanded;
  EXPECT_EQ(Expand(TwoLeafTrack(100, {0xF0, 0x0F}), expanded), SoundTrackResult::kTruncated);
  EXPECT_EQ(std::string(expanded.begin(), expanded.end()), "AAAABBBBBBBBAAAA");
}

TEST_F(SoundTrackTest, ChildOutsideTheTableEndsTheExpansionAsDamaged) {
  std::vector<uint8_t> expanded;
  // A 0 bit is 'B'; the 1 bit goes to node 511, past the table.
  EXPECT_EQ(Expand(TwoLeafTrack(10, {0x1F}, 511), expanded), SoundTrackResult::kDamaged);
  EXPECT_EQ(std::string(expanded.begin(), expanded.end()), "BBB");
  EXPECT_EQ(Expand(TwoLeafTrack(10, {0x80}, -1), expanded), SoundTrackResult::kDamaged);
  EXPECT_TRUE(expanded.empty());
  // A tree cut short is damaged before anything is decoded.
  std::vector<uint8_t> cut = TwoLeafTrack(10, {});
  cut.resize(4000);
  EXPECT_EQ(Expand(cut, expanded), SoundTrackResult::kDamaged);
  // A negative length expands to nothing.
  EXPECT_EQ(Expand(TwoLeafTrack(-5, {0xFF}), expanded), SoundTrackResult::kWritten);
  EXPECT_TRUE(expanded.empty());
}

class PlaybackSoundTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    key.SetSize(64, 48);
    recorder::FillTestPattern(key, 1);
    wav = recorder::ToneWav(1.0, 9);
  }

  recorder::Recording WithSound() {
    RecordingBuilder builder(key);
    builder.Sound(wav).Interval(80);
    builder.AddFrame(key);
    return builder.Build();
  }

  std::string SoundPath() const { return (dir / "vexa.wav").string(); }

  Bitmap key;
  std::vector<uint8_t> wav;
};

TEST_F(PlaybackSoundTest, TrackIsExpandedIntoTheTemporaryFileAndPlayedFromItsStart) {
  TPlayForm& form = Play(WithSound());
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(ReadAll(SoundPath()), wav);
  ASSERT_EQ(system.MciCalls().size(), 2u);
  const MciCall& open = system.MciCalls()[0];
  EXPECT_EQ(open.element, SoundPath());
  EXPECT_EQ(open.contents, wav);
  const MciCall& play = system.MciCalls()[1];
  EXPECT_EQ(play.kind, MciCall::Kind::kPlay);
  EXPECT_EQ(play.device, open.device);
  EXPECT_EQ(play.flags, 0u) << "from position 0";
  EXPECT_TRUE(form.HasSound);
  EXPECT_EQ(form.SoundDevice, open.device);
  struct stat st {};
  ASSERT_EQ(::stat(SoundPath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(PlaybackSoundTest, NoSoundTrackWritesNothingAndOpensNothing) {
  RecordingBuilder builder(key);
  TPlayForm& form = Play(builder.Build());
  EXPECT_TRUE(system.MciCalls().empty());
  EXPECT_FALSE(std::filesystem::exists(SoundPath()));
  EXPECT_FALSE(form.HasSound);
  EXPECT_TRUE(form.Playing);
}

TEST_F(PlaybackSoundTest, RefusedFileReportsBothMessagesAndStillTriesTheOpen) {
  // A symbolic link in place of the file is never followed.
  std::filesystem::path target = dir / "elsewhere.wav";
  std::filesystem::create_symlink(target, SoundPath());
  TPlayForm& form = Play(WithSound());
  EXPECT_EQ(Messages(), (std::vector<std::string>{"failed2", "读取声音失败", "打开声音设备失败"}));
  EXPECT_FALSE(std::filesystem::exists(target));
  ASSERT_FALSE(system.MciCalls().empty());
  EXPECT_EQ(system.MciCalls()[0].element, SoundPath());
  EXPECT_FALSE(form.HasSound);
  EXPECT_TRUE(form.Playing) << "the picture plays without sound";
  EXPECT_EQ(system.MessageBoxes()[0].title, "Lesson1");
}

TEST_F(PlaybackSoundTest, AnEarlierFileThatOpensIsClosedByThePlayback) {
  // The link is refused for writing, but the device opens what it points to.
  std::filesystem::path earlier = dir / "earlier.wav";
  ASSERT_TRUE(recorder::WriteFile(earlier.string(), {1, 2, 3}));
  std::filesystem::create_symlink(earlier, SoundPath());

  TPlayForm& form = Play(WithSound());
  EXPECT_EQ(Messages(), (std::vector<std::string>{"failed2", "读取声音失败"}));
  EXPECT_EQ(ReadAll(earlier), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(system.MciCalls().at(0).contents, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_TRUE(form.HasSound) << "the open device belongs to the playback";
  EXPECT_EQ(system.OpenDevices().size(), 1u);
  player->TickUntilClosed(100);
  EXPECT_TRUE(player->Closed());
  EXPECT_TRUE(system.OpenDevices().empty());
}

TEST_F(PlaybackSoundTest, DeviceFailuresLeaveASilentPlayback) {
  system.failures.mciOpen = 263;
  TPlayForm& form = Play(WithSound());
  EXPECT_EQ(Messages(), (std::vector<std::string>{"打开声音设备失败"}));
  EXPECT_FALSE(form.HasSound);
  EXPECT_TRUE(form.Playing);

  system.failures.mciOpen = 0;
  system.failures.mciPlay = 277;
  TPlayForm& again = Play(WithSound());
  EXPECT_EQ(Messages().back(), "播放声音失败");
  EXPECT_FALSE(again.HasSound);
  EXPECT_TRUE(system.OpenDevices().empty());
  const MciCall& close = system.MciCalls().back();
  EXPECT_EQ(close.kind, MciCall::Kind::kClose);
  EXPECT_EQ(close.flags, kMciWait);
  EXPECT_EQ(close.result, 0u);
}

TEST_F(PlaybackSoundTest, DamagedTrackIsReportedAndNotPlayed) {
  recorder::Recording rec = WithSound();
  Write(rec);
  // The root's one child points past the table.
  size_t rootOne = PAYLOAD_OFFSET + 4 + kHuffRoot * 16 + 8;
  fileBytes[rootOne] = 0x00;
  fileBytes[rootOne + 1] = 0x10;
  WriteBytes(fileBytes);
  TPlayForm& form = Start();
  EXPECT_EQ(Messages(), (std::vector<std::string>{"读取声音失败"}));
  EXPECT_TRUE(system.MciCalls().empty());
  EXPECT_FALSE(form.HasSound);
  EXPECT_TRUE(form.Playing);
}

TEST_F(PlaybackSoundTest, EveryWayAPlaybackEndsClosesItsDevice) {
  TPlayForm& form = Play(WithSound());
  system.ClickMenu(form, "N4");  // restart
  EXPECT_EQ(system.OpenDevices().size(), 1u);
  system.ClickMenu(form, "N3");  // loop
  Ticks(2);
  EXPECT_EQ(system.OpenDevices().size(), 1u);
  int opens = 0;
  for (const MciCall& call : system.MciCalls()) opens += call.kind == MciCall::Kind::kOpen;
  EXPECT_EQ(opens, 3);
  system.ClickMenu(form, "N8");
  EXPECT_TRUE(system.OpenDevices().empty());
  EXPECT_TRUE(Messages().empty());
}

}  // namespace
}  // namespace sp::testing
