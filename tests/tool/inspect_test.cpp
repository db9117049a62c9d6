#include "tools/inspect.h"

#include <gtest/gtest.h>

#include "platform/stream.h"
#include "recorder/recording_builder.h"
#include "recorder/sound_coder.h"
#include "recorder/test_media.h"
#include "tools/info_report.h"

namespace sp::tool {
namespace {

using recorder::CursorPosition;

RecordingInfo Inspect(const std::vector<uint8_t>& file, uint32_t payloadOffset = PAYLOAD_OFFSET) {
  MemoryStream stream;
  stream.Write(file.data(), file.size());
  stream.Seek(0, SeekOrigin::Begin);
  InspectOptions options;
  options.payloadOffset = payloadOffset;
  options.jpeg = JpegCheck::FullDecode;
  return InspectRecording(stream, options);
}

// Four frames: a sound track, a caption, a cursor that changes its shape at
// frame 2, and a frame 3 in which nothing changed.
struct Sample {
  std::vector<uint8_t> wav = recorder::ToneWav(0.5);
  recorder::Recording recording;
  Sample() {
    Bitmap screen(96, 64);
    recorder::FillTestPattern(screen, 3);
    recorder::RecordingBuilder builder(screen);
    recorder::CaptionStyle caption;
    caption.text = "第一课";
    caption.x = 4;
    caption.y = 40;
    caption.fontSize = 18;
    caption.fontName = "宋体";
    caption.fontColor = 0x0000FF;  // red, as 0x00BBGGRR
    caption.bold = 1;
    caption.italic = 2;  // on only when exactly 1
    builder.Sound(wav).Interval(200).Caption(caption).FirstCursor(5, 6);
    recorder::FillRect(screen, {10, 10, 30, 20}, 0xFF0000);
    recorder::FillRect(screen, {40, 34, 90, 60}, 0x00FF00);
    builder.AddFrame(screen, CursorPosition{20, 30});
    recorder::FillRect(screen, {0, 0, 96, 5}, 0x0000FF);
    builder.AddFrame(screen, CursorPosition{25, 35}, recorder::MakeIconFile(recorder::TextCursor()));
    builder.AddFrame(screen);
    recording = builder.Build();
  }
};

TEST(InspectRecording, ReportsEveryPartOfAnUndamagedRecording) {
  const Sample sample;
  const std::vector<uint8_t> file = recorder::MakeSelfPlaying(recorder::ZeroStub(), sample.recording);
  const RecordingInfo info = Inspect(file);
  ASSERT_FALSE(info.damage) << info.damage->message;
  EXPECT_TRUE(info.warnings.empty());
  EXPECT_EQ(info.fileSize, static_cast<int64_t>(file.size()));

  ASSERT_TRUE(info.sound);
  EXPECT_EQ(info.sound->offset, PAYLOAD_OFFSET + 4);
  EXPECT_EQ(info.sound->decodedLength, static_cast<int32_t>(sample.wav.size()));
  EXPECT_EQ(info.sound->decodedBytes, static_cast<int64_t>(sample.wav.size()));
  EXPECT_EQ(info.sound->wav.FormatName(), "PCM");
  EXPECT_EQ(info.sound->wav.sampleRate, 11025u);
  EXPECT_EQ(info.sound->wav.bitsPerSample, 8);
  EXPECT_EQ(info.sound->wav.channels, 1);
  EXPECT_NEAR(info.sound->wav.DurationSeconds(), 0.5, 0.001);
  EXPECT_EQ(info.videoOffset, static_cast<int64_t>(info.leadWord));

  EXPECT_EQ(info.header->FrameWidth, 96);
  EXPECT_EQ(info.header->FrameHeight, 64);
  EXPECT_EQ(info.FrameCount(), 4);
  EXPECT_EQ(info.header->FrameInterval, 200);
  EXPECT_EQ(info.TicksPerFrame(), 5);
  EXPECT_EQ(info.TickPeriod(), 40);

  EXPECT_EQ(info.caption->CaptionText, "第一课");
  EXPECT_EQ(info.caption->CaptionFontName, "宋体");
  EXPECT_EQ(info.caption->CaptionX, 4);
  EXPECT_EQ(info.caption->CaptionFontColor, 0x0000FFu);

  EXPECT_EQ(info.cursorX, 5);
  EXPECT_EQ(info.cursorY, 6);
  EXPECT_EQ(info.cursorIconSize, 766);
  ASSERT_EQ(info.cursorChanges.size(), 1u);
  EXPECT_EQ(info.cursorChanges[0].frame, 2);

  int64_t blocks = 0;
  int64_t bytes = 0;
  int32_t largest = 0;
  for (const recorder::Frame& frame : sample.recording.frames) {
    for (const recorder::Block& block : frame.blocks) {
      ++blocks;
      bytes += static_cast<int64_t>(block.jpeg.size());
      largest = std::max(largest, static_cast<int32_t>(block.jpeg.size()));
    }
  }
  EXPECT_EQ(info.framesRead, 3);
  EXPECT_EQ(info.blocksPerFrame, (std::vector<int32_t>{2, 1, 0}));
  EXPECT_EQ(info.blocks.count, blocks);
  EXPECT_EQ(info.blocks.bytes, bytes);
  EXPECT_EQ(info.blocks.largestBytes, largest);
  EXPECT_EQ(info.blocks.framesWithBlocks, 2);
  EXPECT_EQ(info.trailingBytes, 0);
}

TEST(InfoReport, SaysInWordsAndJsonWhatTheRecordingHolds) {
  const Sample sample;
  const RecordingInfo info = Inspect(recorder::MakeSelfPlaying(recorder::ZeroStub(), sample.recording));
  const std::string text = InfoText(info);
  for (const char* part : {"495,616 bytes", "WAV PCM, 11,025 Hz, 8 bits, mono, 0.50 s", "96 x 64",
                           "4, every 200 ms (5 ticks of 40 ms), 0.60 s", "\"第一课\" at 4,40, 宋体 18 pt, colour FF0000, bold",
                           "1 shape change (frame 2)", "at 5,6 in frame 0", "in 2 of 3 frame records"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  }
  EXPECT_EQ(text.find("italic"), std::string::npos);

  const std::string json = InfoJson(info);
  for (const char* part : {"\"frameCount\":4", "\"sampleRate\":11025", "\"text\":\"第一课\"",
                           "\"fontColor\":\"FF0000\"", "\"bold\":true", "\"italic\":false",
                           "\"perFrame\":[2,1,0]", "\"damage\":null", "\"changes\":[{\"frame\":2,"}) {
    EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
  }
}

TEST(InspectRecording, ReadsASilentRecordingWithoutCursorOfOneFrame) {
  Bitmap screen(40, 30);
  recorder::FillTestPattern(screen, 9);
  recorder::RecordingBuilder builder(screen);
  builder.NoCursor();
  const RecordingInfo info = Inspect(recorder::MakeSelfPlaying(recorder::ZeroStub(), builder.Build()));
  ASSERT_FALSE(info.damage) << info.damage->message;
  EXPECT_FALSE(info.sound);
  EXPECT_EQ(info.leadWord, 0u);
  EXPECT_EQ(info.videoOffset, PAYLOAD_OFFSET + 4);
  EXPECT_EQ(info.FrameCount(), 1);
  EXPECT_EQ(info.header->HasCursor, 0);
  EXPECT_EQ(info.framesRead, 0);
  const std::string text = InfoText(info);
  EXPECT_NE(text.find("sound       none"), std::string::npos) << text;
  EXPECT_NE(text.find("cursor      none"), std::string::npos) << text;
}

TEST(InspectRecording, FindsThePayloadBehindAStubOfAnotherSize) {
  const Sample sample;
  const std::vector<uint8_t> file = recorder::MakeSelfPlaying(recorder::ZeroStub(4096), sample.recording);
  const RecordingInfo right = Inspect(file, 4096);
  ASSERT_FALSE(right.damage) << right.damage->message;
  EXPECT_EQ(right.FrameCount(), 4);
  EXPECT_EQ(right.sound->offset, 4100);
  // At the usual offset the file holds no payload.
  EXPECT_TRUE(Inspect(file).damage);
}

TEST(InspectRecording, WarnsOfBlocksOutsideTheFrameAndOfBytesBehindTheLastFrame) {
  Bitmap screen(64, 48);
  recorder::FillTestPattern(screen, 1);
  recorder::RecordingBuilder builder(screen);
  Bitmap patch(16, 16);
  recorder::FillTestPattern(patch, 2);
  builder.AddFrameBlocks({{{56, 40, 72, 56}, recorder::EncodeJpeg(patch), std::nullopt, std::nullopt}});
  std::vector<uint8_t> file = recorder::MakeSelfPlaying(recorder::ZeroStub(), builder.Build());
  file.insert(file.end(), {1, 2, 3});
  const RecordingInfo info = Inspect(file);
  ASSERT_FALSE(info.damage) << info.damage->message;
  ASSERT_EQ(info.warnings.size(), 2u);
  EXPECT_NE(info.warnings[0].find("frame 1: block 0: rectangle (56, 40, 72, 56)"), std::string::npos);
  EXPECT_NE(info.warnings[1].find("3 bytes behind the last frame"), std::string::npos);
  EXPECT_EQ(info.trailingBytes, 3);
}

}  // namespace
}  // namespace sp::tool
