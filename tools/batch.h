#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace sp::tool {

// The recordings among the inputs: a file named on the command line is
// always taken (so that one which is no recording fails in its own line); the
// files under a folder, at any depth and in name order, only when their
// payload head reads as a recording's. A missing input is kept and fails.
std::vector<std::string> FindRecordings(const std::vector<std::string>& inputs, uint32_t payloadOffset);

// True when any input is a folder: the run reports a summary even for one file.
bool AnyFolder(const std::vector<std::string>& inputs);

struct FileOutcome {
  bool ok = false;
  bool partial = false;  // succeeded with something left out
  bool skipped = false;  // succeeded by an earlier run: its outputs exist
  std::string out;  // for stdout, whole lines
  std::string err;  // for stderr, whole lines
};

// Called from the work with one line (no newline) for stderr's progress.
using ProgressSink = std::function<void(const std::string& line)>;
using FileWork = std::function<FileOutcome(const std::string& path, const ProgressSink& progress)>;

struct BatchCounts {
  int succeeded = 0;
  int failed = 0;
  int partial = 0;  // of the succeeded
  int skipped = 0;  // of the succeeded
  // After Ctrl-C or SIGTERM (the signal, 0 when none): files whose work
  // was stopped (not counted as failed) and files never started.
  int signal = 0;
  int stopped = 0;
  int notStarted = 0;
};

// Runs `work` for every path, `jobs` at a time, and writes each outcome as
// it arrives. With more than one job each file runs in a child process of
// its own, deliberately: the files are untrusted and each drives decoders,
// a player and ffmpeg pipes, so a file that crashes, hangs until killed or
// exhausts memory takes only its own child down, and the others' outcomes
// still arrive. (Two players could share a process now: each form owns its
// clock.) A child that dies without an outcome counts as a failure. Once the
// tool catches Ctrl-C or SIGTERM (CatchInterrupts), no file is started and the
// signal is passed on to the children, whose work stops at its next step.
BatchCounts RunFiles(const std::vector<std::string>& paths, int jobs, const FileWork& work,
                     std::ostream& out, std::ostream& err);

}  // namespace sp::tool
