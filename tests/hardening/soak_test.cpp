// A recording played a thousand times over, by the loop mark and by the
// restart command: what the process holds after the last playback is what
// it held after the first, and the only file the player makes is vexa.wav.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstdlib>
#include <set>
#include <string>

#include "app/play_form.h"
#include "app/headless/headless_player.h"
#include "recorder/payload_writer.h"
#include "tests/hardening/headless_run.h"
#include "tests/hardening/realistic_recording.h"
#include "tests/hardening/sanitizer_build.h"

namespace sp::hardening {
namespace {

constexpr int kLoops = 1000;
// The back end keeps a record of every call, a few bytes a playback, and the
// allocator keeps some freed memory: a leak of even one frame's pixels
// (64 x 48 x 4 bytes) a playback would pass this within a few hundred loops.
constexpr long kRssMarginKb = 2048;

// Names created in a directory, watched through inotify.
class CreationWatch {
 public:
  explicit CreationWatch(const std::string& dir) : fd_(inotify_init1(IN_NONBLOCK)) {
    if (fd_ >= 0) inotify_add_watch(fd_, dir.c_str(), IN_CREATE | IN_MOVED_TO);
  }
  ~CreationWatch() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Ok() const { return fd_ >= 0; }

  // Reads the events so far; the queue holds 16,384 by default, far more
  // than the few names a playback may create between two calls.
  void Drain() {
    alignas(inotify_event) char buffer[8192];
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n <= 0) return;
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (event->mask & IN_Q_OVERFLOW) overflowed = true;
        if (event->len > 0) names.insert(event->name);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
  }

  std::set<std::string> names;
  bool overflowed = false;

 private:
  int fd_;
};

class Soak : public ::testing::Test {
 protected:
  void SetUp() override {
    // The player's temporary directory, and TMPDIR too, so that any other
    // temporary file it made would show up in the watched folder.
    oldTmpdir = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    ::setenv("TMPDIR", temp.Path().c_str(), 1);
    RealisticShape shape{.width = 64, .height = 48, .frames = 4, .rectsPerFrame = 2,
                         .interval = 80, .soundSeconds = 0.02};
    exePath = home.File("SOAK.EXE");
    ASSERT_TRUE(recorder::WriteFile(exePath, recorder::MakeSelfPlaying(recorder::ZeroStub(),
                                                                       MakeRealisticRecording(5, shape))));
    system.SetScreenSize(320, 240);
    system.SetExecutablePath(exePath);
    system.SetTempPath(temp.Path());
  }

  void TearDown() override {
    if (oldTmpdir.empty()) {
      ::unsetenv("TMPDIR");
    } else {
      ::setenv("TMPDIR", oldTmpdir.c_str(), 1);
    }
  }

  // The ticks one playback takes, the first frame step to the last.
  int TicksPerPlayback() {
    HeadlessPlayer once(system);
    EXPECT_TRUE(once.Created());
    const int ticks = once.TickUntilClosed(100000);
    EXPECT_TRUE(once.Closed());
    return ticks;
  }

  struct Held {
    long rssKb;
    int fds;
  };
  static Held Now() { return {CurrentRssKb(), OpenFdCount()}; }

  void ExpectSameAsFirst(const Held& first, const Held& last, CreationWatch& watch) {
    EXPECT_EQ(last.fds, first.fds) << "open file descriptors";
    if (!kSanitizerBuild) {
      // AddressSanitizer holds freed memory back in its quarantine, so the
      // resident set grows there without a leak; LeakSanitizer checks leaks.
      EXPECT_LE(last.rssKb, first.rssKb + kRssMarginKb) << "resident kilobytes after the first loop: " << first.rssKb;
    }
    watch.Drain();
    EXPECT_FALSE(watch.overflowed);
    EXPECT_EQ(watch.names, std::set<std::string>{"vexa.wav"});
    EXPECT_TRUE(system.MessageBoxes().empty()) << system.MessageBoxes().front().text;
  }

  ScratchDir home{"soak-home"};
  ScratchDir temp{"soak-temp"};
  std::string oldTmpdir;
  std::string exePath;
  HeadlessSystem system;
};

TEST_F(Soak, LoopingAThousandTimesHoldsNothingMore) {
  CreationWatch watch(temp.Path());
  ASSERT_TRUE(watch.Ok());
  const int perPlayback = TicksPerPlayback();
  ASSERT_GT(perPlayback, 0);

  HeadlessPlayer player(system);
  ASSERT_TRUE(player.Created());
  system.ClickMenu(player.GetForm(), "N3");
  ASSERT_TRUE(player.GetForm().N3->checked);

  for (int i = 0; i < perPlayback; ++i) player.Tick();
  const Held first = Now();
  for (int loop = 1; loop < kLoops; ++loop) {
    for (int i = 0; i < perPlayback; ++i) player.Tick();
    if (loop % 100 == 0) watch.Drain();
  }
  ASSERT_FALSE(player.Closed());
  const Held last = Now();
  // Every loop opened the sound device once more: the loop path really ran.
  int opens = 0;
  for (const MciCall& call : system.MciCalls()) opens += call.kind == MciCall::Kind::kOpen;
  EXPECT_GE(opens, kLoops);
  ExpectSameAsFirst(first, last, watch);
}

TEST_F(Soak, RestartingAThousandTimesHoldsNothingMore) {
  CreationWatch watch(temp.Path());
  ASSERT_TRUE(watch.Ok());
  HeadlessPlayer player(system);
  ASSERT_TRUE(player.Created());

  // Restart halfway through the playback, after a frame step or two.
  auto playAndRestart = [&] {
    for (int i = 0; i < 3; ++i) player.Tick();
    system.ClickMenu(player.GetForm(), "N4");
  };
  playAndRestart();
  const Held first = Now();
  for (int loop = 1; loop < kLoops; ++loop) {
    playAndRestart();
    if (loop % 100 == 0) watch.Drain();
  }
  ASSERT_FALSE(player.Closed());
  const Held last = Now();
  int opens = 0;
  for (const MciCall& call : system.MciCalls()) opens += call.kind == MciCall::Kind::kOpen;
  EXPECT_GE(opens, kLoops);
  ExpectSameAsFirst(first, last, watch);
}

}  // namespace
}  // namespace sp::hardening
