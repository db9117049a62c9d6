#pragma once

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace sp::bench {

// (No peak memory here: the child's ru_maxrss also counts this process's
// high-water mark, which the kernel carries over at exec from the memory the
// spawned child shared with it. A child reports its own VmHWM instead.)
struct ChildRun {
  double wallSeconds = 0;  // spawn to the child's end
  bool succeeded = false;  // exited with 0
};

// Runs this same program again with args, in a process of its own, and waits
// for it: for figures that start at process start or that need a fresh
// resident set.
inline ChildRun RunSelf(const std::vector<std::string>& args) {
  std::vector<std::string> all = {"/proc/self/exe"};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);

  ChildRun run;
  const auto start = std::chrono::steady_clock::now();
  // posix_spawn, not fork: fork would leave every page of this process
  // copy-on-write, and the figures measured here after it would pay for that.
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return run;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return run;
  run.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return run;
}

}  // namespace sp::bench
