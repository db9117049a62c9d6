// selfplay.exe under Wine with damaged recordings, the cases the engine is
// tested with headless: cuts at item boundaries and inside a block, a bad
// key frame, a bad cursor icon, a sound length beyond the file. Each run
// shows at most one box, leaves the menu able to exit with 0, and hangs
// nowhere.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <thread>

#include "payload/layout.h"
#include "recorder/recording_builder.h"
#include "recorder/test_media.h"
#include "tests/win/wine_fixture.h"

namespace sp::win_test {
namespace {

using qt_test::kScreenHeight;
using qt_test::kScreenWidth;
using qt_test::WaitFor;

// A short recording with blocks, a cursor and a cursor change: four frames
// of 100 ms.
recorder::Recording Short() {
  Bitmap key(160, 120);
  recorder::FillTestPattern(key, 4);
  recorder::RecordingBuilder builder(key);
  builder.Interval(100).FirstCursor(20, 20);
  for (int k = 1; k < 4; ++k) {
    Bitmap next(160, 120);
    recorder::FillTestPattern(next, 4 + k);
    builder.AddFrame(next, recorder::CursorPosition{20 + 10 * k, 20});
  }
  return builder.Build();
}

int64_t OffsetOf(const std::vector<recorder::ItemMark>& marks, const std::string& item) {
  for (const recorder::ItemMark& mark : marks) {
    if (mark.item == item) return mark.offset;
  }
  ADD_FAILURE() << "no item " << item;
  return 0;
}

class WineDamagedTest : public WinePlayerTest {
 protected:
  std::vector<uint8_t> Build(const recorder::Recording& recording,
                             std::vector<recorder::ItemMark>* marks = nullptr) {
    return recorder::MakeSelfPlaying(ReadAll(SELFPLAY_STUB), recording, marks);
  }

  // Runs the player on file: counts the boxes it shows (each answered with
  // Return) until it has been quiet for a while, then exits it through the
  // menu unless it ended by itself. Returns the number of boxes.
  int RunDamaged(const std::vector<uint8_t>& file, const std::string& what) {
    SCOPED_TRACE(what);
    LaunchWineFile(file, "DAMAGED.EXE");
    std::set<std::string> boxes;
    // Until the player's window is up, then until nothing new happens for
    // three seconds (the recording lasts well under one).
    auto lastEvent = std::chrono::steady_clock::now();
    bool sawMain = false;
    const auto deadline = lastEvent + 60s;
    while (std::chrono::steady_clock::now() < deadline && player_->Running()) {
      for (const std::string& w : x_->VisibleWindows(player_->Pid())) {
        const auto g = x_->Geometry(w);
        if (!g) continue;
        if (g->width == kScreenWidth && g->height == kScreenHeight) {
          sawMain = true;
          continue;
        }
        if (boxes.insert(w).second) {
          lastEvent = std::chrono::steady_clock::now();
          x_->Xdotool({"windowfocus", "--sync", w});
          x_->Keys({"Return"});
        }
      }
      if (sawMain && std::chrono::steady_clock::now() - lastEvent > 3s) break;
      std::this_thread::sleep_for(100ms);
    }
    int code = -1;
    if (player_->Running()) {
      EXPECT_TRUE(sawMain) << "no window";
      EXPECT_TRUE(OpenMenu(10, 10)) << "no menu";
      x_->Keys({"Up", "Return"});  // "退出"
    }
    EXPECT_TRUE(WaitForExit(&code, 30s)) << "still running";
    EXPECT_EQ(code, 0);
    return static_cast<int>(boxes.size());
  }
};

TEST_F(WineDamagedTest, CutsAtItemBoundariesShowAtMostOneBox) {
  std::vector<recorder::ItemMark> marks;
  const std::vector<uint8_t> file = Build(Short(), &marks);
  int boxes = 0;
  for (const char* item : {"video header", "first cursor", "key frame", "frame 1: cursor change",
                           "frame 2: block 0", "frame 2: terminator", "frame 3: next cursor"}) {
    const int64_t cut = OffsetOf(marks, item);
    const int shown = RunDamaged({file.begin(), file.begin() + cut}, std::string("cut at ") + item);
    EXPECT_LE(shown, 1) << item;
    std::printf("cut at %s: %d box(es)\n", item, shown);
    boxes += shown;
    if (HasFailure()) return;
  }
  EXPECT_GT(boxes, 0) << "no cut reached an error";
}

TEST_F(WineDamagedTest, ACutInsideABlockShowsOneBox) {
  std::vector<recorder::ItemMark> marks;
  const std::vector<uint8_t> file = Build(Short(), &marks);
  const int64_t cut = OffsetOf(marks, "frame 2: block 0") + 40;
  EXPECT_EQ(RunDamaged({file.begin(), file.begin() + cut}, "cut inside a block"), 1);
}

TEST_F(WineDamagedTest, ABadKeyFrameShowsOneBox) {
  std::vector<recorder::ItemMark> marks;
  std::vector<uint8_t> file = Build(Short(), &marks);
  // The key frame's JPEG without its start-of-image marker.
  const int64_t jpeg = OffsetOf(marks, "key frame") + 4;
  file[jpeg] = 0x12;
  file[jpeg + 1] = 0x34;
  EXPECT_EQ(RunDamaged(file, "bad key frame"), 1);
}

TEST_F(WineDamagedTest, ABadCursorIconInACursorChangeShowsOneBox) {
  recorder::Recording recording = Short();
  recording.frames[1].cursorIcon = recorder::MakeIconFile(recorder::TextCursor());
  recording.frames[1].cursorIcon[2] = 7;  // not an icon file's type
  EXPECT_EQ(RunDamaged(Build(recording), "bad cursor icon"), 1);
}

TEST_F(WineDamagedTest, ASoundLengthBeyondTheFilePlaysWhatTheTrackHolds) {
  recorder::Recording recording = Short();
  const std::vector<uint8_t> wav = recorder::ToneWav(0.2, 3);
  recording.wav = wav;
  std::vector<recorder::ItemMark> marks;
  std::vector<uint8_t> file = Build(recording, &marks);
  const int64_t lengthAt = OffsetOf(marks, "sound track") + static_cast<int64_t>(kHuffTreeBytes);
  const int32_t length = 100'000'000;  // far more than the whole file
  for (int i = 0; i < 4; ++i) file[lengthAt + i] = static_cast<uint8_t>(length >> (8 * i));
  EXPECT_LE(RunDamaged(file, "sound length beyond the file"), 1);
  // The whole track and at most the few codes of its last byte's spare
  // bits; never the video stream read as sound.
  const std::vector<uint8_t> written = ReadAll(WindowsTempDir() + "/vexa.wav");
  ASSERT_GE(written.size(), wav.size());
  EXPECT_LE(written.size(), wav.size() + 7);
  EXPECT_TRUE(std::equal(wav.begin(), wav.end(), written.begin()));
}

}  // namespace
}  // namespace sp::win_test
