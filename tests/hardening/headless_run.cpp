#include "tests/hardening/headless_run.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <stdexcept>

#include "app/play_form.h"
#include "payload/payload_reader.h"
#include "playback/sound_device.h"
#include "app/headless/headless_player.h"
#include "playback/clock.h"
#include "playback/start_playback.h"

namespace sp::hardening {

RunOutcome PlayHeadless(const std::string& exePath, const std::string& tempDir, const RunOptions& options) {
  HeadlessSystem system;
  system.SetScreenSize(options.screen.width, options.screen.height);
  system.SetExecutablePath(exePath);
  system.SetTempPath(tempDir);

  RunOutcome outcome;
  {
    HeadlessPlayer player(system);
    outcome.created = player.Created();
    if (outcome.created) {
      if (options.loop) system.ClickMenu(player.GetForm(), "N3");
      outcome.ticks = player.TickUntilClosed(options.tickBudget);
      outcome.closed = player.Closed();
      outcome.clockRunning = !outcome.closed && system.RunningTimers() > 0;
    }
  }
  outcome.boxes = system.MessageBoxes();
  return outcome;
}

bool IsKnownMessage(const MessageBoxRecord& box) {
  if (box.kind == MessageBoxRecord::Kind::kMessage) {
    for (const char* text : {kCannotOpenPlayerText, kCannotCreateSoundText, kSoundReadFailedText,
                             kSoundOpenFailedText, kSoundPlayFailedText, kTimerFailedText,
                             kDamagedRecordingText}) {
      if (box.text == text) return true;
    }
    return false;
  }
  static const std::regex jpegError("JPEG error #[0-9]+\\.");
  return box.text == "Stream read error." || box.text == "Icon image is not valid." ||
         box.text == "Division by zero." || std::regex_match(box.text, jpegError);
}

std::string FirstUnknownMessage(const std::vector<MessageBoxRecord>& boxes) {
  for (const MessageBoxRecord& box : boxes) {
    if (!IsKnownMessage(box)) {
      return (box.kind == MessageBoxRecord::Kind::kError ? "error box: " : "message: ") + box.text;
    }
  }
  return {};
}

ScratchDir::ScratchDir(const std::string& prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a scratch directory");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

long CurrentRssKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

int OpenFdCount() {
  int count = 0;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator("/proc/self/fd", ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    ++count;
  }
  return count;
}

}  // namespace sp::hardening
