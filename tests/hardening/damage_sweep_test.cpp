// A realistic recording, cut short and changed byte by byte, played headless
// each time to its end or its error: every run must end in a known way.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <span>
#include <string>

#include "payload/layout.h"
#include "recorder/payload_writer.h"
#include "tests/hardening/headless_run.h"
#include "tests/hardening/realistic_recording.h"
#include "tests/hardening/sanitizer_build.h"

namespace sp::hardening {
namespace {

// Far above what playing this small recording needs, far below what a size
// taken from damaged bytes would allocate.
constexpr long kPeakRssBoundKb = kSanitizerBuild ? 1536 * 1024 : 384 * 1024;
// Fewer runs under the sanitizers, which make each several times slower.
constexpr int kByteChanges = kSanitizerBuild ? 500 : 3000;
constexpr int kOtherCuts = kSanitizerBuild ? 100 : 300;
// Cuts just inside each item's first integer as well as at its start.
constexpr bool kCutInsideItems = !kSanitizerBuild;

void WriteBytes(const std::string& path, std::span<const uint8_t> bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  ::close(fd);
}

void WriteByteAt(const std::string& path, size_t offset, uint8_t value) {
  const int fd = ::open(path.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::pwrite(fd, &value, 1, static_cast<off_t>(offset)), 1);
  ::close(fd);
}

class DamageSweep : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    scratch = new ScratchDir("damage-sweep");
    marks = new std::vector<recorder::ItemMark>;
    file = new std::vector<uint8_t>(
        recorder::MakeSelfPlaying(recorder::ZeroStub(), MakeRealisticRecording(2024), marks));
    exePath = new std::string(scratch->File("SWEEP.EXE"));
    WriteBytes(*exePath, *file);
    const RunOutcome intact = PlayHeadless(*exePath, scratch->Path(), {.tickBudget = 100000});
    intactTicks = intact.ticks;
    intactClosed = intact.closed && intact.boxes.empty();
  }

  static void TearDownTestSuite() {
    delete exePath;
    delete file;
    delete marks;
    delete scratch;
  }

  RunOptions Options() const { return {.tickBudget = 4 * intactTicks + 100}; }

  // One damaged run: the form is made, every box says something the player
  // or its framework says, and the run ends: closed, or it said why.
  void ExpectKnownEnd(const RunOutcome& run, const std::string& what, bool mustEnd) {
    ASSERT_TRUE(run.created) << what;
    const std::string unknown = FirstUnknownMessage(run.boxes);
    ASSERT_TRUE(unknown.empty()) << what << ": " << unknown;
    if (mustEnd) {
      ASSERT_TRUE(run.closed || !run.boxes.empty()) << what << ": ended silently, unfinished";
    }
    ++(run.boxes.empty() ? silentRuns : reportedRuns);
    if (run.boxes.empty()) {
      ++(run.closed ? tally.complete : tally.silent);
    } else {
      ++(run.boxes.size() == 1 ? tally.oneBox : tally.severalBoxes);
    }
  }

  // How the runs of one sweep ended, printed so that a change of the
  // player's damage handling can be compared before and after.
  struct Tally {
    int complete = 0;      // closed at the end, no box
    int oneBox = 0;
    int severalBoxes = 0;
    int silent = 0;        // no box and not closed: stopped or still playing
  } tally;

  void TearDown() override {
    const int runs = tally.complete + tally.oneBox + tally.severalBoxes + tally.silent;
    if (runs == 0) return;
    std::printf("damage sweep %s: %d runs: %d complete, %d with one box, %d with several boxes, "
                "%d silent\n",
                ::testing::UnitTest::GetInstance()->current_test_info()->name(), runs, tally.complete,
                tally.oneBox, tally.severalBoxes, tally.silent);
  }

  // Both kinds of end were seen: the runs reached the error paths and the
  // harness really played the damaged files.
  void ExpectBothEnds() {
    EXPECT_GT(silentRuns, 0);
    EXPECT_GT(reportedRuns, 0);
  }

  int silentRuns = 0;
  int reportedRuns = 0;

  void ExpectMemoryBounded() {
    EXPECT_LT(PeakRssKb(), kPeakRssBoundKb) << "peak resident memory in kilobytes";
  }

  static ScratchDir* scratch;
  static std::vector<recorder::ItemMark>* marks;
  static std::vector<uint8_t>* file;
  static std::string* exePath;
  static int intactTicks;
  static bool intactClosed;
};

ScratchDir* DamageSweep::scratch = nullptr;
std::vector<recorder::ItemMark>* DamageSweep::marks = nullptr;
std::vector<uint8_t>* DamageSweep::file = nullptr;
std::string* DamageSweep::exePath = nullptr;
int DamageSweep::intactTicks = 0;
bool DamageSweep::intactClosed = false;

TEST_F(DamageSweep, TheIntactRecordingPlaysToItsEndWithoutABox) {
  EXPECT_TRUE(intactClosed);
  EXPECT_GT(intactTicks, 100);
  size_t blocks = 0;
  for (const recorder::ItemMark& mark : *marks) blocks += mark.item.find("block") != std::string::npos;
  EXPECT_GE(blocks, 150u) << "the recording should hold a few hundred blocks";
}

TEST_F(DamageSweep, CutAtEveryItemBoundary) {
  for (const recorder::ItemMark& mark : *marks) {
    for (int64_t into : {0, 2}) {
      if (into > 0 && !kCutInsideItems) continue;
      const size_t cut = static_cast<size_t>(mark.offset + into);
      if (cut >= file->size()) continue;
      WriteBytes(*exePath, std::span(*file).first(cut));
      const RunOutcome run = PlayHeadless(*exePath, scratch->Path(), Options());
      ExpectKnownEnd(run, "cut at " + std::to_string(cut) + " (" + mark.item + " + " + std::to_string(into) + ")",
                     true);
      if (HasFatalFailure()) return;
    }
  }
  EXPECT_GT(reportedRuns, 0);
  ExpectMemoryBounded();
}

TEST_F(DamageSweep, CutAtOtherOffsets) {
  std::mt19937 rng(7);
  for (int i = 0; i < kOtherCuts; ++i) {
    const size_t cut = PAYLOAD_OFFSET + rng() % (file->size() - PAYLOAD_OFFSET);
    WriteBytes(*exePath, std::span(*file).first(cut));
    const RunOutcome run = PlayHeadless(*exePath, scratch->Path(), Options());
    ExpectKnownEnd(run, "cut at " + std::to_string(cut), true);
    if (HasFatalFailure()) return;
  }
  EXPECT_GT(reportedRuns, 0);
  ExpectMemoryBounded();
}

TEST_F(DamageSweep, SingleByteChanges) {
  WriteBytes(*exePath, *file);
  std::mt19937 rng(31);
  // Half the changes fall on the items before the first frame record, where
  // every byte is a size, a coordinate or a tree index.
  size_t firstFrame = file->size();
  for (const recorder::ItemMark& mark : *marks) {
    if (mark.item.rfind("frame 1: ", 0) == 0) {
      firstFrame = static_cast<size_t>(mark.offset);
      break;
    }
  }
  for (int i = 0; i < kByteChanges; ++i) {
    const size_t end = i % 2 ? firstFrame : file->size();
    const size_t at = PAYLOAD_OFFSET + rng() % (end - PAYLOAD_OFFSET);
    const uint8_t original = (*file)[at];
    const uint8_t changed = static_cast<uint8_t>(original ^ (1 + rng() % 255));
    WriteByteAt(*exePath, at, changed);
    const RunOutcome run = PlayHeadless(*exePath, scratch->Path(), Options());
    WriteByteAt(*exePath, at, original);
    ExpectKnownEnd(run, "byte " + std::to_string(at) + " changed to " + std::to_string(changed), false);
    if (HasFatalFailure()) return;
  }
  ExpectBothEnds();
  ExpectMemoryBounded();
}

}  // namespace
}  // namespace sp::hardening
