#include "tools/batch.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <ostream>

#include "payload/payload_reader.h"
#include "platform/stream.h"
#include "tools/interrupt.h"

namespace sp::tool {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

bool LooksLikeRecording(const fs::path& path, uint32_t payloadOffset) {
  try {
    FileStream file(path.string());
    ReadPayloadHead(file, payloadOffset);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

FileOutcome Failed(std::string message) {
  FileOutcome outcome;
  outcome.err = std::move(message);
  return outcome;
}

FileOutcome RunGuarded(const FileWork& work, const std::string& path, const ProgressSink& progress) {
  try {
    return work(path, progress);
  } catch (const std::exception& e) {
    return Failed(path + ": " + e.what() + "\n");
  }
}

void WriteAll(int fd, const std::string& text) {
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    left -= static_cast<size_t>(n);
  }
}

// One file running in a child; its messages arrive as JSON lines.
struct Child {
  pid_t pid = -1;
  int fd = -1;
  std::string path;
  std::string pending;
  bool reported = false;
};

void Count(BatchCounts& counts, const FileOutcome& outcome, std::ostream& out, std::ostream& err) {
  out << outcome.out << std::flush;
  err << outcome.err << std::flush;
  if (!outcome.ok && Interruption()) {
    ++counts.stopped;
    return;
  }
  (outcome.ok ? counts.succeeded : counts.failed)++;
  if (outcome.ok && outcome.partial) ++counts.partial;
  if (outcome.ok && outcome.skipped) ++counts.skipped;
}

// In the child: never returns.
[[noreturn]] void RunChild(const FileWork& work, const std::string& path, int fd) {
  const ProgressSink progress = [fd](const std::string& line) {
    WriteAll(fd, json{{"progress", line}}.dump(-1, ' ', false, json::error_handler_t::replace) + "\n");
  };
  const FileOutcome outcome = RunGuarded(work, path, progress);
  WriteAll(fd, json{{"ok", outcome.ok},
                    {"partial", outcome.partial},
                    {"skipped", outcome.skipped},
                    {"out", outcome.out},
                    {"err", outcome.err}}
                      .dump(-1, ' ', false, json::error_handler_t::replace) +
                  "\n");
  ::_exit(0);
}

// The files running in children, each sending its messages as JSON lines.
class Children {
 public:
  Children(const FileWork& work, BatchCounts& counts, std::ostream& out, std::ostream& err,
           const ProgressSink& toErr)
      : work_(work), counts_(counts), out_(out), err_(err), toErr_(toErr) {}

  bool Empty() const { return running_.empty(); }
  size_t Size() const { return running_.size(); }

  void Start(const std::string& path) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
      Count(counts_, Failed(path + ": cannot make a pipe: " + std::strerror(errno) + "\n"), out_, err_);
      return;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(fds[0]);
      RunChild(work_, path, fds[1]);
    }
    ::close(fds[1]);
    if (pid < 0) {
      ::close(fds[0]);
      Count(counts_, Failed(path + ": cannot start: " + std::strerror(errno) + "\n"), out_, err_);
      return;
    }
    running_.push_back({pid, fds[0], path, "", false});
  }

  // A SIGTERM reaches this process alone; Ctrl-C reaches them all.
  void PassOn(int signal) {
    for (const Child& child : running_) ::kill(child.pid, signal);
  }

  // Takes what the children sent within a quarter of a second (woken now
  // and then to see whether a signal came before the poll), and the ends of
  // those that ended. False when polling fails.
  bool Wait() {
    std::vector<pollfd> polls;
    for (const Child& child : running_) polls.push_back({child.fd, POLLIN, 0});
    if (::poll(polls.data(), polls.size(), 250) < 0 && errno != EINTR) return false;
    for (size_t i = 0; i < polls.size(); ++i) {
      if (!(polls[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      Child& child = running_[i];
      char buffer[4096];
      const ssize_t n = ::read(child.fd, buffer, sizeof buffer);
      if (n > 0) {
        Take(child, std::string(buffer, static_cast<size_t>(n)));
      } else if (n == 0 || errno != EINTR) {
        Reap(child);
      }
    }
    running_.erase(std::remove_if(running_.begin(), running_.end(), [](const Child& c) { return c.fd < 0; }),
                   running_.end());
    return true;
  }

 private:
  // Takes the whole lines a child has sent; partial lines wait for the rest.
  void Take(Child& child, const std::string& bytes) {
    child.pending += bytes;
    size_t end;
    while ((end = child.pending.find('\n')) != std::string::npos) {
      const std::string line = child.pending.substr(0, end);
      child.pending.erase(0, end + 1);
      const json message = json::parse(line, nullptr, false);
      if (!message.is_object()) continue;
      if (message.contains("progress")) {
        toErr_(message.value("progress", ""));
      } else {
        child.reported = true;
        Count(counts_,
              {message.value("ok", false), message.value("partial", false), message.value("skipped", false),
               message.value("out", ""), message.value("err", "")},
              out_, err_);
      }
    }
  }

  void Reap(Child& child) {
    ::close(child.fd);
    child.fd = -1;
    int status = 0;
    while (::waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (child.reported) return;
    const std::string how = WIFSIGNALED(status) ? std::string("signal ") + std::to_string(WTERMSIG(status))
                                                : "status " + std::to_string(WEXITSTATUS(status));
    Count(counts_, Failed(child.path + ": the work ended without a result (" + how + ")\n"), out_, err_);
  }

  const FileWork& work_;
  BatchCounts& counts_;
  std::ostream& out_;
  std::ostream& err_;
  const ProgressSink& toErr_;
  std::vector<Child> running_;
};

}  // namespace

bool AnyFolder(const std::vector<std::string>& inputs) {
  std::error_code error;
  return std::any_of(inputs.begin(), inputs.end(),
                     [&](const std::string& p) { return fs::is_directory(p, error); });
}

std::vector<std::string> FindRecordings(const std::vector<std::string>& inputs, uint32_t payloadOffset) {
  std::vector<std::string> found;
  for (const std::string& input : inputs) {
    std::error_code error;
    if (!fs::is_directory(input, error)) {
      found.push_back(input);
      continue;
    }
    std::vector<std::string> inFolder;
    fs::recursive_directory_iterator it(input, fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
      std::error_code typeError;
      if (it->is_regular_file(typeError) && LooksLikeRecording(it->path(), payloadOffset)) {
        inFolder.push_back(it->path().string());
      }
    }
    std::sort(inFolder.begin(), inFolder.end());
    found.insert(found.end(), inFolder.begin(), inFolder.end());
  }
  return found;
}

BatchCounts RunFiles(const std::vector<std::string>& paths, int jobs, const FileWork& work,
                     std::ostream& out, std::ostream& err) {
  BatchCounts counts;
  const ProgressSink toErr = [&err](const std::string& line) { err << line << "\n" << std::flush; };
  auto interrupted = [&](size_t next) {
    if (counts.signal == 0 && Interruption() != 0) {
      counts.signal = Interruption();
      counts.notStarted = static_cast<int>(paths.size() - next);
    }
    return counts.signal != 0;
  };
  if (jobs <= 1 || paths.size() <= 1) {
    for (size_t next = 0; next < paths.size() && !interrupted(next); ++next) {
      Count(counts, RunGuarded(work, paths[next], toErr), out, err);
    }
    interrupted(paths.size());
    return counts;
  }

  out.flush();
  err.flush();
  Children children(work, counts, out, err, toErr);
  size_t next = 0;
  bool passedOn = false;
  while (next < paths.size() || !children.Empty()) {
    if (interrupted(next) && !passedOn) {
      next = paths.size();
      children.PassOn(counts.signal);
      passedOn = true;
    }
    while (next < paths.size() && children.Size() < static_cast<size_t>(jobs)) children.Start(paths[next++]);
    if (!children.Empty() && !children.Wait()) break;
  }
  interrupted(paths.size());
  return counts;
}

}  // namespace sp::tool
