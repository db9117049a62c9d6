#include "playback/seekable_playback.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

#include "../engine/engine_fixture.h"
#include "../media/undecodable_block.h"
#include "recorder/images.h"

namespace sp::testing {
namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 120;

// A recording with all that makes a picture: a caption, overlapping and
// whole-screen blocks, frames without blocks, a cursor that moves (also
// through negative, fractional places) and changes its picture twice.
recorder::Recording VariedRecording(int frames, double soundSeconds = 0) {
  Bitmap screen(kWidth, kHeight);
  recorder::FillTestPattern(screen, 11);
  recorder::RecordingBuilder builder(screen);
  builder.Interval(200).FirstCursor(-7, 30);  // 5 ticks a frame
  recorder::CaptionStyle caption;
  caption.text = "Lesson 课程";
  caption.x = 20;
  caption.y = 40;
  caption.fontSize = 14;
  caption.fontColor = 0x0000FF;
  caption.bold = 1;
  builder.Caption(caption);
  if (soundSeconds > 0) builder.Sound(recorder::ToneWav(soundSeconds));
  std::mt19937 random(5);
  for (int k = 1; k < frames; ++k) {
    std::optional<recorder::CursorPosition> cursor;
    if (k % 3 != 0) {
      cursor = recorder::CursorPosition{static_cast<int32_t>(random() % 200) - 30,
                                        static_cast<int32_t>(random() % 150) - 20};
    }
    std::vector<uint8_t> icon;
    if (k == 5) icon = recorder::MakeIconFile(recorder::TextCursor());
    if (k == 17) icon = recorder::MakeIconFile(recorder::ArrowCursor());
    if (k % 13 == 0) {
      recorder::FillTestPattern(screen, static_cast<uint32_t>(k));  // a whole-screen change
    } else if (k % 4 != 0) {
      for (int r = 0; r < 3; ++r) {
        const int x = static_cast<int>(random() % (kWidth - 20));
        const int y = static_cast<int>(random() % (kHeight - 10));
        recorder::FillRect(screen, {x, y, x + 5 + static_cast<int>(random() % 60), y + 3 + static_cast<int>(random() % 30)},
                           static_cast<Pixel>(random() & 0xFFFFFF));
      }
    }
    builder.AddFrame(screen, cursor, icon);
  }
  return builder.Build();
}

class SeekablePlaybackTest : public EngineTest {
 protected:
  // What the stub shows after each tick, from frame 0 to the last frame.
  std::vector<std::vector<Pixel>> PlayStraight(int64_t ticks) {
    Start();
    std::vector<std::vector<Pixel>> pictures;
    for (int64_t t = 0; t <= ticks; ++t) {
      if (t > 0) system.Tick();
      const Bitmap& p = Picture();
      pictures.emplace_back(p.Data(), p.Data() + static_cast<size_t>(p.Width()) * p.Height());
    }
    return pictures;
  }

  static SeekablePlayback::Options SmallBudget() {
    SeekablePlayback::Options options;
    options.snapshotBudgetBytes = int64_t{kWidth} * kHeight * 4 * 4;  // four snapshots
    options.snapshotMilliseconds = 1000;
    return options;
  }

  ::testing::AssertionResult Same(const Bitmap& picture, const std::vector<Pixel>& expected,
                                  int64_t tick) {
    if (static_cast<size_t>(picture.Width()) * picture.Height() != expected.size()) {
      return ::testing::AssertionFailure() << "tick " << tick << ": size differs";
    }
    for (size_t i = 0; i < expected.size(); ++i) {
      if (picture.Data()[i] != expected[i]) {
        return ::testing::AssertionFailure()
               << "tick " << tick << ": pixel (" << i % kWidth << ", " << i / kWidth << ") is "
               << std::hex << picture.Data()[i] << ", the stub shows " << expected[i];
      }
    }
    return ::testing::AssertionSuccess();
  }
};

TEST_F(SeekablePlaybackTest, AnyTickEqualsPlayingStraightToIt) {
  Write(VariedRecording(40));
  auto playback = SeekablePlayback::Open(exePath, SmallBudget());
  ASSERT_EQ(playback->FrameCount(), 40);
  ASSERT_EQ(playback->TicksPerFrame(), 5);
  ASSERT_FALSE(playback->Damage());
  const int64_t last = playback->LastTick();
  ASSERT_EQ(last, 39 * 5);
  const auto straight = PlayStraight(last);

  // Forwards tick by tick, backwards, then random jumps both ways.
  for (int64_t t = 0; t <= last; ++t) ASSERT_TRUE(Same(playback->PictureAt(t), straight[t], t));
  for (int64_t t = last; t >= 0; t -= 7) ASSERT_TRUE(Same(playback->PictureAt(t), straight[t], t));
  std::mt19937 random(17);
  for (int i = 0; i < 300; ++i) {
    const int64_t t = static_cast<int64_t>(random() % (last + 1));
    ASSERT_TRUE(Same(playback->PictureAt(t), straight[t], t)) << "jump " << i;
    // The viewer's idle work between pictures changes none of them.
    if (i % 5 == 0) playback->DoIdleWork();
  }
  // A fresh playback whose first picture is far in.
  auto fresh = SeekablePlayback::Open(exePath, SmallBudget());
  EXPECT_TRUE(Same(fresh->PictureAt(last - 2 * 5 - 3), straight[last - 13], last - 13));
  EXPECT_LE(playback->SnapshotBytes(), SmallBudget().snapshotBudgetBytes);
  EXPECT_GT(playback->SnapshotCount(), 1u);
}

// Playing on presents only what changed since the picture before: at every
// stride a busy viewer may take (ticks and frames passed over), with
// snapshots made between pictures as the viewer makes them.
TEST_F(SeekablePlaybackTest, PlayingOnAtAnyStrideEqualsPlayingStraight) {
  Write(VariedRecording(40));
  SeekablePlayback::Options options = SmallBudget();
  options.snapshotBudgetBytes *= 3;
  options.snapshotMilliseconds = 600;
  const int64_t last = 39 * 5;
  const auto straight = PlayStraight(last);
  for (int stride : {1, 2, 3, 5, 7, 11}) {
    auto playback = SeekablePlayback::Open(exePath, options);
    int n = 0;
    for (int64_t t = stride == 7 ? 3 : 0; t <= last; t += stride) {
      ASSERT_TRUE(Same(playback->PictureAt(t), straight[t], t)) << "stride " << stride;
      if (stride != 1 && ++n % 4 == 0) playback->PrepareNextSnapshot();
    }
  }
}

// The first picture can show before the frame records are indexed.
// Frames thousands of ticks long, as a replay of a seek meets them: the
// cursor creeping through negative, fractional places (a stretched save at
// every step), crossing the picture, and leaving it.
TEST_F(SeekablePlaybackTest, TicksDeepInLongFramesEqualPlayingStraightToThem) {
  constexpr int kTicks = 3000;
  Bitmap screen(kWidth, kHeight);
  recorder::FillTestPattern(screen, 3);
  recorder::RecordingBuilder builder(screen);
  builder.Interval(40 * kTicks).FirstCursor(-21, 40);
  builder.AddFrame(screen, recorder::CursorPosition{-19, 43});
  recorder::FillRect(screen, {10, 10, 90, 60}, 0x336699);
  builder.AddFrame(screen, recorder::CursorPosition{150, 100});
  builder.AddFrame(screen, recorder::CursorPosition{4000, -3000});
  builder.AddFrame(screen, recorder::CursorPosition{-25, 7});
  Write(builder.Build());

  auto playback = SeekablePlayback::Open(exePath, SmallBudget());
  ASSERT_EQ(playback->TicksPerFrame(), kTicks);
  const int64_t last = playback->LastTick();
  std::vector<int64_t> wanted;
  for (int64_t t = 0; t <= last; t += t % kTicks < 40 || t % kTicks > kTicks - 40 ? 1 : 97) wanted.push_back(t);
  std::map<int64_t, std::vector<Pixel>> straight;
  Start();
  for (int64_t t = 0, next = 0; t <= last && next < static_cast<int64_t>(wanted.size()); ++t) {
    if (t > 0) system.Tick();
    if (wanted[next] != t) continue;
    const Bitmap& p = Picture();
    straight[t].assign(p.Data(), p.Data() + static_cast<size_t>(p.Width()) * p.Height());
    ++next;
  }
  std::shuffle(wanted.begin(), wanted.end(), std::mt19937(23));
  for (int64_t t : wanted) ASSERT_TRUE(Same(playback->PictureAt(t), straight[t], t));
}

TEST_F(SeekablePlaybackTest, IndexAfterTheFirstPicture) {
  Write(VariedRecording(12));
  SeekablePlayback::Options options;
  options.indexAtOpen = false;
  auto playback = SeekablePlayback::Open(exePath, options);
  EXPECT_FALSE(playback->Indexed());
  EXPECT_EQ(playback->FrameCount(), 1);
  const auto straight = PlayStraight(11 * 5);
  EXPECT_TRUE(Same(playback->PictureAt(0), straight[0], 0));
  playback->CompleteIndex();
  EXPECT_EQ(playback->FrameCount(), 12);
  for (int64_t t : {int64_t{55}, int64_t{1}, int64_t{32}}) {
    EXPECT_TRUE(Same(playback->PictureAt(t), straight[t], t));
  }
}

// Indexed in slices, as a front end on one thread does between events: each
// slice stays within its budget, what is indexed so far shows as the stub
// shows it, and the whole index equals one made at once.
TEST_F(SeekablePlaybackTest, IndexInSlicesWithinABudget) {
  Write(VariedRecording(30));
  const auto straight = PlayStraight(29 * 5);
  auto whole = SeekablePlayback::Open(exePath, SmallBudget());
  for (const IndexBudget budget : {IndexBudget{4, INT64_MAX}, IndexBudget{INT32_MAX, 1}}) {
    SeekablePlayback::Options options = SmallBudget();
    options.indexAtOpen = false;
    auto playback = SeekablePlayback::Open(exePath, options);
    int slices = 0;
    for (bool done = false; !done;) {
      const int32_t before = playback->FrameCount();
      done = playback->IndexSome(budget);
      ++slices;
      EXPECT_LE(playback->FrameCount() - before, std::max(1, std::min(budget.records, 4)));
      const int64_t t = playback->LastTick();
      ASSERT_TRUE(Same(playback->PictureAt(t), straight[t], t)) << "slice " << slices;
    }
    EXPECT_TRUE(playback->Indexed());
    EXPECT_GE(slices, budget.records == 4 ? 8 : 29);
    ASSERT_EQ(playback->FrameCount(), whole->FrameCount());
    ASSERT_EQ(playback->Blocks().size(), whole->Blocks().size());
    for (int32_t k = 0; k < whole->FrameCount(); ++k) {
      EXPECT_EQ(playback->Frames()[k].offset, whole->Frames()[k].offset);
      EXPECT_EQ(playback->Frames()[k].blockCount, whole->Frames()[k].blockCount);
      EXPECT_EQ(playback->Frames()[k].nextCursorX, whole->Frames()[k].nextCursorX);
      EXPECT_EQ(playback->Frames()[k].iconFrame, whole->Frames()[k].iconFrame);
    }
    for (int64_t t = 0; t <= whole->LastTick(); t += 11) ASSERT_TRUE(Same(playback->PictureAt(t), straight[t], t));
    // Nothing more to read.
    EXPECT_TRUE(playback->IndexSome(budget));
  }
}

TEST_F(SeekablePlaybackTest, TimeMapsToTicksOfTheFrameClock) {
  Write(VariedRecording(4));
  auto playback = SeekablePlayback::Open(exePath);
  EXPECT_EQ(playback->TickMilliseconds(), 40);
  EXPECT_EQ(playback->DurationMilliseconds(), 3 * 200);
  EXPECT_EQ(playback->TickAt(0), 0);
  EXPECT_EQ(playback->TickAt(399), 9);
  EXPECT_EQ(playback->TickAt(100000), playback->LastTick());
  EXPECT_EQ(playback->FrameOfTick(9), 1);
  EXPECT_EQ(playback->FrameOfTick(10), 2);
}

// A file cut inside a frame record plays the frames before it, and says
// where the damage is.
TEST_F(SeekablePlaybackTest, CutFileEndsBeforeTheCutFrame) {
  std::vector<recorder::ItemMark> marks;
  Write(VariedRecording(20), &marks);
  auto cut = std::find_if(marks.begin(), marks.end(),
                          [](const recorder::ItemMark& m) { return m.item == "frame 11: block 0"; });
  ASSERT_NE(cut, marks.end());
  std::vector<uint8_t> bytes(fileBytes.begin(), fileBytes.begin() + cut->offset + 10);
  const auto whole = fileBytes;
  WriteBytes(bytes);
  auto playback = SeekablePlayback::Open(exePath);
  EXPECT_EQ(playback->FrameCount(), 11);
  ASSERT_TRUE(playback->Damage());
  EXPECT_EQ(playback->Damage()->item, "frame 11: block 0");
  EXPECT_EQ(playback->LastTick(), 10 * 5);

  WriteBytes(whole);
  const auto straight = PlayStraight(10 * 5);
  for (int64_t t : {int64_t{50}, int64_t{3}, int64_t{49}, int64_t{20}}) {
    EXPECT_TRUE(Same(playback->PictureAt(t), straight[t], t));
  }
}

// A block whose JPEG does not decode ends the recording before its frame
// once a picture needs it.
TEST_F(SeekablePlaybackTest, UndecodableBlockEndsTheRecordingBeforeItsFrame) {
  recorder::Recording recording = VariedRecording(12);
  auto& block = recording.frames[8].blocks.at(0);  // frame 9
  std::fill(block.jpeg.begin() + 2, block.jpeg.end(), 0xFF);
  Write(recording);
  auto playback = SeekablePlayback::Open(exePath);
  EXPECT_FALSE(playback->Damage());
  playback->PictureAt(playback->TickOfFrame(8));
  for (int32_t k = 9; k < 12; ++k) playback->FrameAt(k);
  ASSERT_TRUE(playback->Damage());
  EXPECT_EQ(playback->FrameCount(), 9);
  EXPECT_EQ(playback->Damage()->item, "frame 9: block 0");
  EXPECT_NE(playback->Damage()->message.find("JPEG error"), std::string::npos)
      << playback->Damage()->message;
}

// A seek decodes only the blocks that show. A block drawn over whole later
// whose data does not decode is found by the idle work, which ends the
// recording before its frame, where playing straight ends it.
TEST_F(SeekablePlaybackTest, IdleWorkFindsAHiddenBlockThatDoesNotDecode) {
  recorder::Recording recording = VariedRecording(20);
  media_testing::AddCoveredUndecodableBlock(recording, 12, {16, 16, 32, 32});
  Write(recording);
  auto playback = SeekablePlayback::Open(exePath, SmallBudget());
  playback->PictureAt(playback->TickOfFrame(15));
  EXPECT_FALSE(playback->Damage());
  EXPECT_EQ(playback->FrameCount(), 20);

  int slices = 0;
  while (playback->DoIdleWork()) ASSERT_LT(++slices, 1000);
  ASSERT_TRUE(playback->Damage());
  EXPECT_EQ(playback->Damage()->item, "frame 12: block " + std::to_string(recording.frames[11].blocks.size() - 1));
  EXPECT_EQ(playback->FrameCount(), 12);
  EXPECT_EQ(playback->CheckedFrames(), 11);
  const auto straight = PlayStraight(11 * 5);
  EXPECT_TRUE(Same(playback->PictureAt(playback->LastTick()), straight.back(), 11 * 5));

  // Played on from the start, the same end is found without the idle work.
  auto played = SeekablePlayback::Open(exePath, SmallBudget());
  for (int32_t k = 0; k < 20; ++k) played->FrameAt(k);
  EXPECT_EQ(played->FrameCount(), 12);
  EXPECT_EQ(played->CheckedFrames(), 11);
  EXPECT_FALSE(played->DoIdleWork() && played->CheckNextFrames());
}

// Cut at every item and with bytes changed anywhere, a file either opens
// or is refused with the reader's fault; what opens shows every tick.
TEST_F(SeekablePlaybackTest, DamagedFilesOpenOrAreRefusedNeverCrash) {
  std::vector<recorder::ItemMark> marks;
  Write(VariedRecording(14, 0.3), &marks);
  const std::vector<uint8_t> whole = fileBytes;
  std::vector<std::vector<uint8_t>> variants;
  for (const recorder::ItemMark& mark : marks) {
    for (int64_t extra : {0, 3, 17}) {
      if (mark.offset + extra < static_cast<int64_t>(whole.size())) {
        variants.emplace_back(whole.begin(), whole.begin() + mark.offset + extra);
      }
    }
  }
  std::mt19937 random(23);
  for (int i = 0; i < 60; ++i) {
    std::vector<uint8_t> bytes = whole;
    for (int n = 0; n < 4; ++n) {
      const size_t at = PAYLOAD_OFFSET + random() % (whole.size() - PAYLOAD_OFFSET);
      bytes[at] = static_cast<uint8_t>(random());
    }
    variants.push_back(std::move(bytes));
  }
  int opened = 0;
  for (const auto& bytes : variants) {
    WriteBytes(bytes);
    std::unique_ptr<SeekablePlayback> playback;
    try {
      playback = SeekablePlayback::Open(exePath);
    } catch (const PayloadEndError&) {
      continue;
    } catch (const DamagedRecording&) {
      continue;
    } catch (const Error&) {
      continue;  // a key frame or first cursor that does not decode
    }
    ++opened;
    for (int n = 0; n < 12; ++n) {
      const int64_t t = static_cast<int64_t>(random() % (playback->LastTick() + 1));
      const Bitmap& picture = playback->PictureAt(t);
      EXPECT_EQ(picture.Width(), kWidth);
    }
    playback->ExpandSound();
  }
  EXPECT_GT(opened, 10);
}

TEST_F(SeekablePlaybackTest, BarePayloadAndItsSoundTrack) {
  const recorder::Recording recording = VariedRecording(6, 0.5);
  WriteBytes(recorder::WritePayload(recording, 0));
  auto playback = SeekablePlayback::Open(exePath);
  EXPECT_EQ(playback->Location().source, PayloadSource::kBare);
  EXPECT_EQ(playback->FrameCount(), 6);
  EXPECT_EQ(playback->ExpandSound(), recording.wav);
}

}  // namespace
}  // namespace sp::testing
