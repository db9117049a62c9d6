// The Win32 back end's services: ticks sent from the multimedia timer's
// thread and handled on the GUI thread, a timer stopped inside its own tick,
// the waveaudio device's results, the executable and temporary paths.
#include "platform/win32/win32_system.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "platform/application.h"
#include "platform/file_io.h"
#include "platform/form.h"
#include "platform/win32/windows_api.h"

namespace sp {
namespace {

constexpr uint32_t kTick = 1040;

class TickForm : public Form {
 public:
  explicit TickForm(Application& app) : Form(app) {}
  int ticks = 0;
  bool offGuiThread = false;
  DWORD guiThread = GetCurrentThreadId();
  std::function<void()> onTick;

 protected:
  intptr_t Dispatch(uint32_t msg, uintptr_t, intptr_t) override {
    if (msg != kTick) return 0;
    ++ticks;
    offGuiThread |= GetCurrentThreadId() != guiThread;
    if (onTick) onTick();
    return 0;
  }
};

TickForm* tickForm = nullptr;
Win32System* tickSystem = nullptr;

void SendTick(uint32_t, uint32_t, uintptr_t, uintptr_t, uintptr_t) {
  tickSystem->SendMessage(tickForm->Handle(), kTick, 0, 0);
}

// Handles sent and posted messages for a while, as the message loop would.
void Pump(DWORD milliseconds) {
  const DWORD end = GetTickCount() + milliseconds;
  for (DWORD now = GetTickCount(); static_cast<int>(end - now) > 0; now = GetTickCount()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, end - now, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
}

class Win32SystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form_.SetClientSize(200, 100);
    form_.Create();
    tickForm = &form_;
    tickSystem = &system_;
  }
  void TearDown() override {
    tickForm = nullptr;
    tickSystem = nullptr;
  }
  Win32System system_;
  Application app_{system_};
  TickForm form_{app_};
};

TEST_F(Win32SystemTest, TicksComeFromTheTimerThreadAndAreHandledOnTheGuiThread) {
  TimeCaps caps;
  ASSERT_EQ(system_.TimeGetDevCaps(&caps, sizeof caps), 0u);
  EXPECT_GE(caps.periodMin, 1u);
  ASSERT_EQ(system_.TimeBeginPeriod(1), 0u);
  const uint32_t id = system_.TimeSetEvent(20, 1, SendTick, 0, kTimePeriodic);
  ASSERT_NE(id, 0u);
  Pump(1000);
  EXPECT_EQ(system_.TimeKillEvent(id), 0u);
  EXPECT_EQ(system_.TimeEndPeriod(1), 0u);
  const int seen = form_.ticks;
  EXPECT_GE(seen, 5);
  EXPECT_FALSE(form_.offGuiThread);
  Pump(200);
  EXPECT_EQ(form_.ticks, seen) << "a tick after the timer was killed";
}

TEST_F(Win32SystemTest, ATimerKilledInsideItsTickSendsNoMore) {
  uint32_t id = 0;
  form_.onTick = [&] {
    if (form_.ticks == 2) system_.TimeKillEvent(id);
  };
  id = system_.TimeSetEvent(10, 1, SendTick, 0, kTimePeriodic);
  ASSERT_NE(id, 0u);
  Pump(600);
  EXPECT_EQ(form_.ticks, 2);
  // A handle of no window drops the message.
  EXPECT_EQ(system_.SendMessage(0, kTick, 0, 0), 0);
  EXPECT_EQ(form_.ticks, 2);
}

TEST_F(Win32SystemTest, WaveAudioResultsArePassedUp) {
  // A one-second silent 8-bit mono WAV at 11,025 Hz.
  const std::string path = TempDirectory() + "selfplay-mci-test.wav";
  {
    std::FILE* f = OpenPrivateForWriting(path);
    ASSERT_NE(f, nullptr);
    const uint32_t rate = 11025;
    auto u32 = [&](uint32_t v) { std::fwrite(&v, 4, 1, f); };
    auto u16 = [&](uint16_t v) { std::fwrite(&v, 2, 1, f); };
    std::fputs("RIFF", f);
    u32(36 + rate);
    std::fputs("WAVEfmt ", f);
    u32(16);
    u16(1);
    u16(1);
    u32(rate);
    u32(rate);
    u16(1);
    u16(8);
    std::fputs("data", f);
    u32(rate);
    for (uint32_t i = 0; i < rate; ++i) std::fputc(0x80, f);
    std::fclose(f);
  }
  uint32_t device = 0;
  ASSERT_EQ(system_.MciOpenWaveAudio(path, &device), 0u);
  EXPECT_NE(device, 0u);
  EXPECT_EQ(system_.MciPlayFrom(device, 0), 0u);
  EXPECT_EQ(system_.MciClose(device, kMciWait), 0u);
  // Closed: the identifier is no device any more.
  EXPECT_EQ(system_.MciClose(device, kMciNoFlags), static_cast<uint32_t>(MCIERR_INVALID_DEVICE_ID));
  uint32_t none = 0;
  EXPECT_NE(system_.MciOpenWaveAudio(TempDirectory() + "no-such-file.wav", &none), 0u);
  DeleteFileA(path.c_str());
}

TEST_F(Win32SystemTest, PathsAndScreenComeFromTheSystem) {
  const std::string exe = system_.ExecutablePath();
  EXPECT_NE(exe.find("win_platform_tests.exe"), std::string::npos) << exe;
  EXPECT_EQ(app_.Title(), "win_platform_tests");  // the first letter as it is
  EXPECT_EQ(system_.TempPath(), TempDirectory());
  const Size screen = system_.ScreenSize();
  EXPECT_EQ(screen.width, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_GT(screen.height, 0);
  // The form's window: its client size as set, its handle the window's.
  EXPECT_EQ(form_.ClientWidth(), 200);
  EXPECT_EQ(form_.ClientHeight(), 100);
  EXPECT_TRUE(IsWindow(reinterpret_cast<HWND>(form_.Handle())));
}

}  // namespace
}  // namespace sp
