// Ending the Win32 back end's message loop from a tick that comes while a
// modal loop runs (a box, the popup menu, a move of the window), and a
// window the system refuses to create.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/application.h"
#include "platform/errors.h"
#include "platform/form.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/windows_api.h"

namespace sp {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kTick = 1040;
constexpr uint32_t kStartModal = 1041;

class QuitForm : public Form {
 public:
  explicit QuitForm(Application& app) : Form(app) {
    // A menu with no items does not open at all.
    PopupMenu().push_back({"N1", "one", false, {}});
    PopupMenu().push_back({"N2", "two", true, {}});
  }
  std::function<void()> onTick;
  std::function<void()> onStartModal;
  int closes = 0;

 protected:
  void OnClose() override { ++closes; }
  intptr_t Dispatch(uint32_t msg, uintptr_t, intptr_t) override {
    if (msg == kTick && onTick) onTick();
    if (msg == kStartModal && onStartModal) onStartModal();
    return 0;
  }
};

QuitForm* quitForm = nullptr;
Win32System* quitSystem = nullptr;

void SendTick(uint32_t, uint32_t, uintptr_t, uintptr_t, uintptr_t) {
  quitSystem->SendMessage(quitForm->Handle(), kTick, 0, 0);
}

// The popup menu's window, of the system's menu class.
bool InMenu() {
  const HWND menu = FindWindowW(L"#32768", nullptr);
  return menu != nullptr && IsWindowVisible(menu);
}

bool InMoveOrSize() {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(GetCurrentThreadId(), &info) && (info.flags & GUI_INMOVESIZE) != 0;
}

BOOL CALLBACK FindBox(HWND hwnd, LPARAM found) {
  wchar_t name[16] = {};
  GetClassNameW(hwnd, name, 16);
  if (std::wstring(name) == L"#32770" && IsWindowVisible(hwnd)) {
    *reinterpret_cast<HWND*>(found) = hwnd;
    return FALSE;
  }
  return TRUE;
}

HWND OpenBox(DWORD thread) {
  HWND box = nullptr;
  EnumThreadWindows(thread, FindBox, reinterpret_cast<LPARAM>(&box));
  return box;
}

// Ends whatever a broken quit leaves running on the GUI thread, so that a
// failing test fails instead of hanging: the loops see these as a user's
// Escape, a box's OK and a quit.
void Rescue(DWORD thread, HWND window) {
  if (HWND box = OpenBox(thread)) PostMessageW(box, WM_COMMAND, IDOK, 0);
  if (HWND menu = FindWindowW(L"#32768", nullptr)) PostMessageW(menu, WM_CANCELMODE, 0, 0);
  PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
  PostMessageW(window, WM_CANCELMODE, 0, 0);
  PostThreadMessageW(thread, WM_QUIT, 0, 0);
}

class Win32QuitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form_.SetClientSize(300, 200);
    form_.SetPosition(50, 50);
    form_.Create();
    quitForm = &form_;
    quitSystem = &system_;
  }
  void TearDown() override {
    quitForm = nullptr;
    quitSystem = nullptr;
    // The quit left for the next test's loops to find.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
  }

  // Runs the message loop, starts the modal loop from a posted message
  // once the window has settled (a focus change that reaches a menu just
  // opened closes it), and closes the form from the first tick that finds
  // inModal true (or, failing that, after ten seconds). Returns how long
  // the loop ran on after the close; the loop must end in well under the
  // watchdog's twenty seconds.
  std::chrono::milliseconds RunAndCloseInside(const std::function<bool()>& inModal) {
    using Clock = std::chrono::steady_clock;
    Clock::time_point closedAt{};
    const Clock::time_point start = Clock::now();
    uint32_t timer = 0;
    bool started = false;
    form_.onTick = [&] {
      if (!started && Clock::now() - start > 500ms) {
        started = true;
        PostMessageW(reinterpret_cast<HWND>(form_.Handle()), kStartModal, 0, 0);
      }
      const bool inside = inModal();
      if (inside) modalSeen_ = true;
      if (closedAt == Clock::time_point{} && (inside || Clock::now() - start > 10s)) {
        closedAt = Clock::now();
        system_.TimeKillEvent(timer);
        form_.Close();
      }
    };
    timer = system_.TimeSetEvent(20, 1, SendTick, 0, kTimePeriodic);
    EXPECT_NE(timer, 0u);

    const DWORD gui = GetCurrentThreadId();
    const HWND window = reinterpret_cast<HWND>(form_.Handle());
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
      const auto deadline = Clock::now() + 20s;
      while (!done) {
        std::this_thread::sleep_for(100ms);
        if (Clock::now() > deadline) Rescue(gui, window);
      }
    });
    app_.Run(form_);
    const Clock::time_point ended = Clock::now();
    done = true;
    watchdog.join();
    EXPECT_NE(closedAt, Clock::time_point{}) << "the form was never closed";
    return std::chrono::duration_cast<std::chrono::milliseconds>(ended - closedAt);
  }

  Win32System system_;
  Application app_{system_};
  QuitForm form_{app_};
  bool modalSeen_ = false;
};

TEST_F(Win32QuitTest, ACloseWhileABoxIsOpenEndsTheBoxAndTheLoop) {
  const DWORD gui = GetCurrentThreadId();
  form_.onStartModal = [&] { app_.ShowMessage("open while the clock runs"); };
  const auto after = RunAndCloseInside([&] { return OpenBox(gui) != nullptr; });
  EXPECT_TRUE(modalSeen_) << "the box never showed";
  EXPECT_LT(after, 5s);
  EXPECT_EQ(OpenBox(gui), nullptr);
  EXPECT_EQ(form_.closes, 1);
}

TEST_F(Win32QuitTest, ACloseWhileThePopupMenuIsOpenEndsTheMenuAndTheLoop) {
  form_.onStartModal = [&] {
    // As a right click would: the menu opens on the window.
    const HWND window = reinterpret_cast<HWND>(form_.Handle());
    SendMessageW(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window), MAKELPARAM(60, 60));
  };
  const auto after = RunAndCloseInside(InMenu);
  EXPECT_TRUE(modalSeen_) << "the menu never opened";
  EXPECT_LT(after, 5s);
  EXPECT_FALSE(InMenu());
}

TEST_F(Win32QuitTest, ACloseWhileTheWindowIsBeingMovedEndsTheMoveAndTheLoop) {
  form_.onStartModal = [&] {
    // The system menu's Move: the window follows the arrow keys until
    // Return, Escape or a click.
    DefWindowProcW(reinterpret_cast<HWND>(form_.Handle()), WM_SYSCOMMAND, SC_MOVE, 0);
  };
  const auto after = RunAndCloseInside(InMoveOrSize);
  EXPECT_TRUE(modalSeen_) << "the move never started";
  EXPECT_LT(after, 5s);
}

TEST_F(Win32QuitTest, LaterClosesEndTheProgramAgainButRunTheCloseHandlerOnce) {
  form_.Close();
  EXPECT_TRUE(app_.Terminated());
  // A modal loop took the quit: the next close asks for it again.
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  form_.HandleCloseRequest();
  EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(form_.closes, 1);
}

// Refuses the creation of every window of the form's class, as a system
// out of window resources would.
HHOOK refuseHook = nullptr;
LRESULT CALLBACK RefuseFormWindows(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    wchar_t name[32] = {};
    GetClassNameW(reinterpret_cast<HWND>(wParam), name, 32);
    if (std::wstring(name) == L"TPlayForm") return 1;
  }
  return CallNextHookEx(refuseHook, code, wParam, lParam);
}

struct RefusedWindows {
  RefusedWindows() {
    refuseHook = SetWindowsHookExW(WH_CBT, RefuseFormWindows, nullptr, GetCurrentThreadId());
  }
  ~RefusedWindows() { UnhookWindowsHookEx(refuseHook); }
};

std::string boxSeen;
void CALLBACK AnswerBox(HWND, UINT, UINT_PTR, DWORD) {
  if (HWND box = OpenBox(GetCurrentThreadId())) {
    wchar_t title[64] = {};
    GetWindowTextW(box, title, 64);
    boxSeen = std::string(title, title + wcslen(title));
    EndDialog(box, IDOK);
  }
}

TEST(Win32WindowCreation, ARefusedFirstWindowIsAnErrorOfTheFormsCreation) {
  Win32System system;
  Application app(system);
  QuitForm form(app);
  RefusedWindows refused;
  ASSERT_NE(refuseHook, nullptr);
  EXPECT_THROW(form.Create(), WindowCreationError);
  EXPECT_EQ(form.Handle(), 0u);
  // The system holds no half-made window: a box finds no owner to flush.
  boxSeen.clear();
  const UINT_PTR answer = SetTimer(nullptr, 0, 100, AnswerBox);
  app.ShowMessage("after the refusal");
  KillTimer(nullptr, answer);
  EXPECT_EQ(boxSeen, "win_platform_tests");
}

TEST(Win32WindowCreation, ARefusedNewWindowIsReportedAndEndsTheProgram) {
  Win32System system;
  Application app(system);
  QuitForm form(app);
  form.SetClientSize(300, 200);
  form.Create();
  ASSERT_NE(form.Handle(), 0u);
  boxSeen.clear();
  const UINT_PTR answer = SetTimer(nullptr, 0, 100, AnswerBox);
  {
    RefusedWindows refused;
    // The full-screen command's new window is refused.
    form.SetBorderStyle(BorderStyle::None);
  }
  KillTimer(nullptr, answer);
  EXPECT_EQ(boxSeen, "win_platform_tests") << "no error box";
  EXPECT_EQ(form.Handle(), 0u);
  EXPECT_EQ(*form.HandleForOtherThreads(), 0u);
  EXPECT_EQ(form.closes, 1);
  EXPECT_TRUE(app.Terminated());
  MSG msg;
  while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
}

}  // namespace
}  // namespace sp
