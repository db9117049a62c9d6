#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/geometry.h"
#include "platform/headless/headless_system.h"

namespace sp::hardening {

// How one headless playback ended.
struct RunOutcome {
  bool created = false;      // the form was created
  bool closed = false;       // the player closed itself (the end of the recording)
  bool clockRunning = false; // the tick budget ran out with the clock still going
  int ticks = 0;
  std::vector<MessageBoxRecord> boxes;
};

struct RunOptions {
  int tickBudget = 3000;
  Size screen{1024, 768};
  bool loop = false;  // the loop mark set right after frame 0
};

// Plays the self-playing file at exePath on the headless back end, with
// tempDir (ending in a separator or not) as the temporary directory: frame 0,
// then ticks until the player closes, its clock stops or the budget is spent.
// Every message box is recorded and dismissed at once.
RunOutcome PlayHeadless(const std::string& exePath, const std::string& tempDir, const RunOptions& options);

// A text the player or its framework can show: the player's own messages,
// and the framework's error texts with the full stop the error box adds.
bool IsKnownMessage(const MessageBoxRecord& box);

// The first box whose text is not known, for a failure message; empty when
// every box is known.
std::string FirstUnknownMessage(const std::vector<MessageBoxRecord>& boxes);

// A private directory that is removed with everything in it.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& prefix);
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Peak resident memory of this process so far, in kilobytes.
long PeakRssKb();
// Resident memory now, in kilobytes.
long CurrentRssKb();
// File descriptors this process holds open now.
int OpenFdCount();

}  // namespace sp::hardening
