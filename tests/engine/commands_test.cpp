// The context menu's commands, the click on the picture, and closing.

#include "app/player_main.h"
#include "platform/canvas.h"
#include "tests/engine/engine_fixture.h"

namespace sp::testing {
namespace {

using recorder::CursorPosition;
using recorder::RecordingBuilder;

int CountCalls(const HeadlessSystem& system, TimerCall::Kind kind, size_t from = 0) {
  int n = 0;
  const auto& calls = system.TimerCalls();
  for (size_t i = from; i < calls.size(); ++i) n += calls[i].kind == kind;
  return n;
}

class CommandsTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    key.SetSize(800, 600);
    recorder::FillTestPattern(key, 5);
  }

  // Five frames of 4 ticks each, with sound and a moving cursor.
  recorder::Recording FiveFrames() {
    RecordingBuilder builder(key);
    builder.Interval(160).Sound(recorder::ToneWav(0.3)).FirstCursor(10, 10);
    Bitmap picture;
    recorder::CopyPixels(key, picture);
    for (int k = 1; k < 5; ++k) {
      recorder::FillRect(picture, {k * 20, k * 20, k * 20 + 40, k * 20 + 40}, 0x808000);
      builder.AddFrame(picture, CursorPosition{10 + 20 * k, 10});
    }
    return builder.Build();
  }

  Bitmap key;
};

TEST_F(CommandsTest, PauseHoldsThePictureAndTickCountUntilResumed) {
  TPlayForm& form = Play(FiveFrames());
  Ticks(2);
  ASSERT_EQ(form.TickCount, 2);
  system.ClickImage(form);  // the picture's click is N6
  EXPECT_FALSE(form.Playing);
  EXPECT_TRUE(form.N6->checked);
  Bitmap held;
  recorder::CopyPixels(Picture(), held);

  Ticks(10);
  EXPECT_EQ(form.TickCount, 2);
  EXPECT_EQ(form.CurrentFrame, 1);
  EXPECT_TRUE(SameBitmap(Picture(), held));
  EXPECT_EQ(system.OpenDevices().size(), 1u) << "the sound is not paused";

  system.ClickMenu(form, "N6");
  EXPECT_TRUE(form.Playing);
  EXPECT_FALSE(form.N6->checked);
  Ticks(1);
  EXPECT_EQ(form.CurrentFrame, 1);
  Ticks(1);
  EXPECT_EQ(form.CurrentFrame, 2) << "the interrupted frame ends after its remaining ticks";
}

TEST_F(CommandsTest, PauseIsIgnoredOnceTheRecordingHasEnded) {
  recorder::Recording single = RecordingBuilder(key).Build();
  TPlayForm& form = Play(single);
  ASSERT_EQ(form.CurrentFrame, form.FrameCount);
  system.ClickImage(form);
  EXPECT_TRUE(form.Playing);
  EXPECT_FALSE(form.N6->checked);
}

TEST_F(CommandsTest, RestartWhilePausedStopsAndStartsTheClockOnce) {
  TPlayForm& form = Play(FiveFrames());
  Bitmap frameZero;
  recorder::CopyPixels(Picture(), frameZero);
  Ticks(9);
  ASSERT_EQ(form.CurrentFrame, 3);
  system.ClickMenu(form, "N6");
  size_t mark = system.TimerCalls().size();
  uint32_t oldDevice = form.SoundDevice;

  system.ClickMenu(form, "N4");
  EXPECT_EQ(CountCalls(system, TimerCall::Kind::kKillEvent, mark), 1);
  EXPECT_EQ(CountCalls(system, TimerCall::Kind::kSetEvent, mark), 1);
  EXPECT_EQ(system.RunningTimers(), 1u);
  EXPECT_EQ(system.OpenPeriods(), 1);
  EXPECT_TRUE(form.Playing);
  EXPECT_TRUE(form.N6->checked) << "the mark is not touched by a restart";
  EXPECT_EQ(form.CurrentFrame, 1);
  EXPECT_EQ(form.TickCount, 0);
  EXPECT_TRUE(SameBitmap(Picture(), frameZero));

  // The old device closed with wait, a new one opened for the new playback.
  EXPECT_EQ(system.OpenDevices(), (std::set<uint32_t>{form.SoundDevice}));
  EXPECT_NE(form.SoundDevice, oldDevice);
  bool closedWithWait = false;
  for (const MciCall& call : system.MciCalls()) {
    closedWithWait |= call.kind == MciCall::Kind::kClose && call.device == oldDevice &&
                      call.flags == kMciWait && call.result == 0;
  }
  EXPECT_TRUE(closedWithWait);
  Ticks(4);
  EXPECT_EQ(form.CurrentFrame, 2);
}

// Checks, when the clock is stopped, that the playback's objects are still there.
class WatchingSystem : public HeadlessSystem {
 public:
  uint32_t TimeKillEvent(uint32_t id) override {
    objectsAliveAtKill = PlayForm && PlayForm->FrameBitmap && PlayForm->RecordingStream &&
                         PlayForm->CursorImage;
    return HeadlessSystem::TimeKillEvent(id);
  }
  bool objectsAliveAtKill = false;
};

TEST_F(CommandsTest, CloseWhilePausedStopsTheClockBeforeFreeing) {
  WatchingSystem watching;
  watching.SetTempPath(dir.string());
  watching.SetExecutablePath(exePath);
  Write(FiveFrames());
  HeadlessPlayer paused(watching);
  TPlayForm& form = paused.GetForm();
  watching.Tick();
  watching.ClickMenu(form, "N6");
  ASSERT_FALSE(form.Playing);

  watching.ClickMenu(form, "N8");
  EXPECT_TRUE(paused.Closed());
  EXPECT_TRUE(watching.objectsAliveAtKill);
  EXPECT_EQ(form.FrameBitmap, nullptr);
  EXPECT_EQ(form.CursorStream, nullptr);
  EXPECT_EQ(watching.RunningTimers(), 0u);
  EXPECT_EQ(watching.OpenPeriods(), 0);
  EXPECT_TRUE(watching.OpenDevices().empty());
  const MciCall& last = watching.MciCalls().back();
  EXPECT_EQ(last.kind, MciCall::Kind::kClose);
  EXPECT_EQ(last.flags, kMciNoFlags);
  // Nothing is left to tick.
  EXPECT_FALSE(watching.Tick());
}

TEST_F(CommandsTest, SystemCloseRunsFormClose) {
  TPlayForm& form = Play(FiveFrames());
  system.RequestClose(form);
  EXPECT_TRUE(player->Closed());
  EXPECT_TRUE(system.QuitRequested());
  EXPECT_TRUE(system.OpenDevices().empty());
  EXPECT_EQ(form.JpegImage, nullptr);
}

TEST_F(CommandsTest, FullScreenOffGivesHalfTheScreenAndOnGoesBack) {
  TPlayForm& form = Play(FiveFrames());
  size_t mark = system.WindowLog().size();
  system.ClickMenu(form, "N1");
  EXPECT_FALSE(form.N1->checked);
  EXPECT_EQ(form.GetBorderStyle(), BorderStyle::Sizeable);
  EXPECT_EQ(form.GetWindowState(), WindowState::Normal);
  EXPECT_EQ(form.ClientWidth(), 512);
  EXPECT_EQ(form.ClientHeight(), 384);
  EXPECT_EQ(form.Width(), 512 + HeadlessSystem::kFrameSize.width);
  EXPECT_TRUE(form.StretchMode);
  EXPECT_EQ((std::tuple{form.Image1.left, form.Image1.top, form.Image1.width, form.Image1.height}),
            (std::tuple{0, 0, 512, 384}));
  std::vector<std::string> off(system.WindowLog().begin() + mark, system.WindowLog().end());
  EXPECT_EQ(off, (std::vector<std::string>{"menu N1 off", "border sizeable", "recreated",
                                           "client 1016x737", "state normal", "client 739x468",
                                           "client 512x468", "client 512x384"}));

  // The squeezed picture comes at the next frame step.
  Ticks(4);
  Bitmap squeezed(512, 384);
  squeezed.GetCanvas().StretchDraw({0, 0, 512, 384}, *form.FrameBitmap);
  EXPECT_TRUE(SameBitmap(Picture(), squeezed));

  mark = system.WindowLog().size();
  system.ClickMenu(form, "N1");
  EXPECT_TRUE(form.N1->checked);
  std::vector<std::string> on(system.WindowLog().begin() + mark, system.WindowLog().end());
  EXPECT_EQ(on, (std::vector<std::string>{"menu N1 on", "border none", "recreated",
                                          "state maximized", "client 1024x768"}));
  EXPECT_FALSE(form.StretchMode);
  EXPECT_EQ(form.Image1.left, 112);
  EXPECT_EQ(form.Image1.top, 84);
}

TEST_F(CommandsTest, TickDuringWindowRecreationIsDropped) {
  TPlayForm& form = Play(FiveFrames());
  int countAtRecreate = -1;
  WindowHandle handleAtRecreate = 1;
  system.onRecreate = [&] {
    handleAtRecreate = form.Handle();
    countAtRecreate = form.TickCount;
    system.Tick();
  };
  system.ClickMenu(form, "N1");
  EXPECT_EQ(handleAtRecreate, 0u);
  EXPECT_EQ(system.DroppedMessages(), 1);
  EXPECT_EQ(form.TickCount, countAtRecreate);
  EXPECT_NE(form.Handle(), 0u);
  system.onRecreate = nullptr;
  Ticks(1);
  EXPECT_EQ(form.TickCount, countAtRecreate + 1) << "ticks reach the new window";
}

TEST_F(CommandsTest, DesignTimeDescription) {
  TPlayForm& form = Start(ShowPlayer::kLater);
  EXPECT_EQ(form.Left(), 197);
  EXPECT_EQ(form.Top(), 196);
  EXPECT_EQ(form.ClientWidth(), 739);
  EXPECT_EQ(form.ClientHeight(), 468);
  EXPECT_EQ(form.Caption(), "PlayForm");
  EXPECT_EQ(form.GetBorderStyle(), BorderStyle::None);
  EXPECT_EQ(form.GetWindowState(), WindowState::Maximized);
  std::vector<std::string> items;
  for (const MenuItem& item : form.PopupMenu1) {
    items.push_back(item.name + " " + item.caption + (item.checked ? " ✓" : ""));
  }
  EXPECT_EQ(items, (std::vector<std::string>{"N1 全屏幕 ✓", "N2 自动缩放 ✓", "N3 循环播放",
                                             "N4 重新开始", "N6 暂停", "N5 -",
                                             "N7 结束自动退出 ✓", "N8 退出"}));
  EXPECT_EQ((std::tuple{form.Image1.left, form.Image1.top, form.Image1.width, form.Image1.height}),
            (std::tuple{0, 0, 673, 449}));
  EXPECT_TRUE(form.FirstShow);
  EXPECT_NE(form.CursorImage, nullptr);
}

TEST_F(CommandsTest, RunPlayerPlaysToTheEndOnTheMessageLoop) {
  recorder::Recording rec = FiveFrames();
  Write(rec);
  EXPECT_EQ(RunPlayer(system), 0);
  EXPECT_TRUE(system.QuitRequested());
  EXPECT_EQ(system.TicksDelivered(), 16);
  EXPECT_TRUE(system.OpenDevices().empty());
  EXPECT_EQ(PlayForm, nullptr);
}

}  // namespace
}  // namespace sp::testing
