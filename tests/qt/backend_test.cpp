// The desktop back end on Qt's off-screen platform: the hand-over of timer
// ticks to the GUI thread, message boxes, sound devices and paths.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/application.h"
#include "platform/form.h"
#include "platform/qt/qt_system.h"
#include "recorder/test_media.h"

namespace sp {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kTick = 1040;

QtSystem& TheSystem() {
  static QtSystem* system = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    return new QtSystem();
  }();
  return *system;
}

// Sends every tick to the form's window from the timer thread, as the
// player's timer callback does.
void SendTick(uint32_t, uint32_t, uintptr_t user, uintptr_t, uintptr_t);

// A form whose show starts a 10 ms clock and whose ticks run `onTick`.
class TickForm : public Form {
 public:
  explicit TickForm(Application& app) : Form(app) {}

  std::function<void(int tick)> onTick;
  std::function<void()> onShow;
  int ticks = 0;
  uint32_t timer = 0;

  void StopClock() {
    if (timer != 0) App().GetSystem().TimeKillEvent(timer);
    timer = 0;
  }

 protected:
  void OnShow() override {
    timer = App().GetSystem().TimeSetEvent(10, 1, SendTick, reinterpret_cast<uintptr_t>(this),
                                           kTimePeriodic);
    if (onShow) onShow();
  }
  intptr_t Dispatch(uint32_t msg, uintptr_t, intptr_t) override {
    if (msg != kTick) return 0;
    ++ticks;
    if (onTick) onTick(ticks);
    return 1;
  }
};

void SendTick(uint32_t, uint32_t, uintptr_t user, uintptr_t, uintptr_t) {
  auto* form = reinterpret_cast<TickForm*>(user);
  TheSystem().SendMessage(form->Handle(), kTick, 0, 0);
}

void After(std::chrono::milliseconds delay, std::function<void()> f) {
  QTimer::singleShot(delay, qApp, std::move(f));
}

QMessageBox* OpenBox() { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }

TEST(QtBackendTest, ATickHandlerThatStopsTheClockGetsNoFurtherTick) {
  Application app(TheSystem());
  TickForm form(app);
  form.Create();
  form.onTick = [&](int tick) {
    if (tick != 3) return;
    // The timer thread is waiting inside its send right now.
    form.StopClock();
    After(200ms, [&] { app.Terminate(); });
  };
  app.Run(form);
  EXPECT_EQ(form.ticks, 3);
}

// A timer callback that sends a tick to a window resolved on the GUI thread
// and tells whether it is still running.
struct Probe {
  WindowHandle window = 0;
  std::atomic<bool> inCallback{false};
  std::atomic<int> calls{0};
};

void ProbedTick(uint32_t, uint32_t, uintptr_t user, uintptr_t, uintptr_t) {
  auto* probe = reinterpret_cast<Probe*>(user);
  ++probe->calls;
  probe->inCallback = true;
  TheSystem().SendMessage(probe->window, kTick, 0, 0);
  probe->inCallback = false;
}

// The GUI thread stops the clock while the timer thread waits for it inside
// a send: the kill neither deadlocks nor returns before the callback has,
// and the queued tick is dropped.
TEST(QtBackendTest, StoppingTheClockWhileATickWaitsForTheGuiThreadEndsTheCallbackFirst) {
  Application app(TheSystem());
  TickForm form(app);
  form.Create();
  Probe probe;
  bool callbackStillRan = true;
  int callsAtKill = -1;
  int callsLater = -2;
  form.onShow = [&] {
    form.StopClock();
    probe.window = form.Handle();
    After(0ms, [&] {
      const uint32_t id =
          TheSystem().TimeSetEvent(5, 1, ProbedTick, reinterpret_cast<uintptr_t>(&probe), kTimePeriodic);
      // The GUI thread handles no event here, so the tick stays queued.
      const auto deadline = std::chrono::steady_clock::now() + 20s;
      while (!probe.inCallback && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
      }
      std::this_thread::sleep_for(50ms);
      TheSystem().TimeKillEvent(id);
      callbackStillRan = probe.inCallback;
      callsAtKill = probe.calls;
      After(300ms, [&] {
        callsLater = probe.calls;
        app.Terminate();
      });
    });
  };
  app.Run(form);
  EXPECT_GE(callsAtKill, 1);
  EXPECT_FALSE(callbackStillRan);
  EXPECT_EQ(callsLater, callsAtKill);
  EXPECT_EQ(form.ticks, 0) << "the tick queued before the kill was handled";
}

TEST(QtBackendTest, TicksKeepArrivingWhileAMessageBoxIsOpen) {
  Application app(TheSystem());
  TickForm form(app);
  form.Create();
  int ticksBefore = -1;
  int ticksAfter = -1;
  form.onShow = [&] {
    After(0ms, [&] {
      ticksBefore = form.ticks;
      After(300ms, [&] {
        if (QMessageBox* box = OpenBox()) box->done(QMessageBox::Ok);
      });
      app.ShowMessage("box");
      ticksAfter = form.ticks;
      form.StopClock();
      app.Terminate();
    });
  };
  app.Run(form);
  EXPECT_GE(ticksAfter - ticksBefore, 5);
}

TEST(QtBackendTest, TheErrorBoxOfAFailingTickHoldsTheClockUntilDismissed) {
  Application app(TheSystem());
  TickForm form(app);
  form.Create();
  int ticksWhileOpen = -1;
  QString title, text;
  bool stopIcon = false;
  form.onTick = [&](int tick) {
    if (tick == 1) {
      After(300ms, [&] {
        ticksWhileOpen = form.ticks;
        if (QMessageBox* box = OpenBox()) {
          title = box->windowTitle();
          text = box->text();
          stopIcon = box->icon() == QMessageBox::Critical;
          box->done(QMessageBox::Ok);
        }
      });
      throw std::runtime_error("Stream read error");
    }
    if (tick == 4) {
      form.StopClock();
      app.Terminate();
    }
  };
  app.Run(form);
  EXPECT_EQ(ticksWhileOpen, 1);
  EXPECT_EQ(form.ticks, 4);
  EXPECT_EQ(title.toStdString(), app.Title());
  EXPECT_EQ(text.toStdString(), "Stream read error.");
  EXPECT_TRUE(stopIcon);
}

TEST(QtBackendTest, AMessageBoxHasTheTitleTheTextAndOneOkButton) {
  QtSystem& system = TheSystem();
  QStringList seen;
  After(50ms, [&] {
    if (QMessageBox* box = OpenBox()) {
      seen << box->windowTitle() << box->text();
      for (QAbstractButton* b : box->buttons()) seen << b->text();
      seen << (box->icon() == QMessageBox::NoIcon ? "no icon" : "icon");
      box->done(QMessageBox::Ok);
    }
  });
  system.ShowMessage("Lesson1", "打开声音设备失败");
  EXPECT_EQ(seen, (QStringList{"Lesson1", "打开声音设备失败", "OK", "no icon"}));
}

TEST(QtBackendTest, TempPathComesFromTmpdirWithOneTrailingSeparator) {
  QtSystem& system = TheSystem();
  setenv("TMPDIR", "/var/tmp/x", 1);
  EXPECT_EQ(system.TempPath(), "/var/tmp/x/");
  setenv("TMPDIR", "/var/tmp/x/", 1);
  EXPECT_EQ(system.TempPath(), "/var/tmp/x/");
  setenv("TMPDIR", "", 1);
  EXPECT_EQ(system.TempPath(), "/tmp/");
  unsetenv("TMPDIR");
  EXPECT_EQ(system.TempPath(), "/tmp/");
  EXPECT_EQ(system.ExecutablePath(), std::filesystem::canonical("/proc/self/exe").string());
}

class WaveAudioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("selfplay-wave-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  std::filesystem::path dir_;
};

TEST_F(WaveAudioTest, OpenFailsForAMissingOrBrokenFile) {
  QtSystem& system = TheSystem();
  uint32_t id = 0;
  EXPECT_NE(system.MciOpenWaveAudio((dir_ / "missing.wav").string(), &id), 0u);
  EXPECT_NE(system.MciOpenWaveAudio(Write("text.wav", {'n', 'o', 't', ' ', 'w', 'a', 'v'}), &id), 0u);
  std::vector<uint8_t> cut = recorder::ToneWav(0.1);
  cut.resize(20);
  EXPECT_NE(system.MciOpenWaveAudio(Write("cut.wav", cut), &id), 0u);
}

TEST_F(WaveAudioTest, ADeviceOpensPlaysAndClosesAndItsIdDiesWithIt) {
  QtSystem& system = TheSystem();
  const std::string path = Write("tone.wav", recorder::ToneWav(0.2));
  uint32_t first = 0;
  ASSERT_EQ(system.MciOpenWaveAudio(path, &first), 0u);
  EXPECT_EQ(system.MciPlayFrom(first, 0), 0u);
  EXPECT_EQ(system.MciPlayFrom(first, 100), 0u);
  EXPECT_NE(system.MciPlayFrom(first, 60000), 0u);  // beyond the end
  EXPECT_EQ(system.MciClose(first, kMciWait), 0u);
  EXPECT_NE(system.MciPlayFrom(first, 0), 0u);
  EXPECT_NE(system.MciClose(first, kMciNoFlags), 0u);

  // SDL's dummy driver has one output device; once closed it opens again.
  uint32_t second = 0;
  ASSERT_EQ(system.MciOpenWaveAudio(path, &second), 0u);
  EXPECT_NE(second, first);
  EXPECT_EQ(system.MciPlayFrom(second, 0), 0u);
  EXPECT_EQ(system.MciClose(second, kMciNoFlags), 0u);
}

}  // namespace
}  // namespace sp
