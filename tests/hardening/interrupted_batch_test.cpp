// Ctrl-C and SIGTERM during `export --out-dir … -j 2`: the children stop, no
// part of an output is left, the summary says what finished, the status is
// 128 + the signal; the same command again exports the rest.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "recorder/payload_writer.h"
#include "tests/hardening/realistic_recording.h"
#include "tests/tool/tool_fixture.h"

namespace sp::tool::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr auto kDeadline = std::chrono::seconds(120);

class InterruptedBatch : public ToolTest {
 protected:
  // a.exe is short; b, c and d are long. With two jobs c starts only when
  // a has finished, so c's output appearing means a's is whole.
  void MakeInputs() {
    fs::create_directories(Path("in"));
    hardening::RealisticShape shape{.width = 160, .height = 120, .frames = 8, .rectsPerFrame = 3,
                                    .interval = 120, .soundSeconds = 0.3};
    WriteBytes(Path("in/a.exe"), recorder::MakeSelfPlaying(recorder::ZeroStub(),
                                                           hardening::MakeRealisticRecording(1, shape)));
    shape.frames = 500;
    for (const char* name : {"b", "c", "d"}) {
      WriteBytes(Path("in/") + name + ".exe",
                 recorder::MakeSelfPlaying(recorder::ZeroStub(), hardening::MakeRealisticRecording(2, shape)));
    }
  }

  // The program in a process group of its own, as a shell runs a job.
  pid_t Start() const {
    const std::string tool = SELFPLAY_TOOL_PATH;
    const std::string err = Path("run.err");
    const std::string in = Path("in");
    const std::string out = Path("out");
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::setpgid(0, 0);
      const int fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(fd, STDERR_FILENO);
      ::execl(tool.c_str(), tool.c_str(), "export", in.c_str(), "--out-dir", out.c_str(), "-j", "2",
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::setpgid(pid, pid);
    return pid;
  }

  static bool WaitFor(const std::function<bool()>& condition) {
    for (const auto end = Clock::now() + kDeadline; Clock::now() < end;) {
      if (condition()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
  }

  // Processes whose command line names this test's folder: the tool, its
  // children and their ffmpeg.
  int Running() const {
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc")) {
      std::ifstream file(entry.path() / "cmdline", std::ios::binary);
      const std::string line{std::istreambuf_iterator<char>(file), {}};
      count += line.find(dir.string()) != std::string::npos;
    }
    return count;
  }

  std::set<std::string> Outputs() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(Path("out"))) names.insert(entry.path().filename().string());
    return names;
  }

  int VideoFrames(const std::string& path) const {
    const std::string command = "ffprobe -v error -count_packets -select_streams v:0 -show_entries "
                                "stream=nb_read_packets -of csv=p=0 '" + path + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[64] = {};
    const size_t n = std::fread(buffer, 1, sizeof buffer - 1, pipe);
    ::pclose(pipe);
    return std::atoi(std::string(buffer, n).c_str());
  }

  void InterruptAndFinish(int signal, bool wholeGroup, const std::string& said) {
    MakeInputs();
    const pid_t pid = Start();
    ASSERT_GT(pid, 0);
    const bool cStarted = WaitFor([&] { return fs::exists(Path("out/c.mp4")); });
    ASSERT_TRUE(cStarted) << ReadText(Path("run.err"));
    ASSERT_EQ(::kill(wholeGroup ? -pid : pid, signal), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    const std::string err = ReadText(Path("run.err"));
    ASSERT_TRUE(WIFEXITED(status)) << err;
    EXPECT_EQ(WEXITSTATUS(status), 128 + signal) << err;
    EXPECT_NE(err.find(said + ": 1 of 4 files finished, 0 failed, 2 stopped, 1 not started"), std::string::npos)
        << err;
    EXPECT_TRUE(WaitFor([&] { return Running() == 0; })) << "children still run";
    // What finished is whole; nothing of the rest.
    EXPECT_EQ(Outputs(), std::set<std::string>{"a.mp4"});
    const int shortFrames = VideoFrames(Path("out/a.mp4"));
    EXPECT_GT(shortFrames, 0);
    const auto written = fs::last_write_time(Path("out/a.mp4"));

    // The same command again, without --force: a's output is passed over,
    // the rest is exported.
    const pid_t again = Start();
    ASSERT_EQ(::waitpid(again, &status, 0), again);
    const std::string second = ReadText(Path("run.err"));
    EXPECT_EQ(WEXITSTATUS(status), 0) << second;
    EXPECT_NE(second.find("a.mp4 exists already; --force writes it again"), std::string::npos) << second;
    EXPECT_NE(second.find("4 files, 4 succeeded, 0 failed; 1 skipped"), std::string::npos) << second;
    EXPECT_EQ(Outputs(), (std::set<std::string>{"a.mp4", "b.mp4", "c.mp4", "d.mp4"}));
    EXPECT_EQ(fs::last_write_time(Path("out/a.mp4")), written);
    EXPECT_EQ(VideoFrames(Path("out/a.mp4")), shortFrames);
    const int longFrames = VideoFrames(Path("out/b.mp4"));
    EXPECT_GT(longFrames, shortFrames * 10);
    EXPECT_EQ(VideoFrames(Path("out/c.mp4")), longFrames);
    EXPECT_EQ(VideoFrames(Path("out/d.mp4")), longFrames);
  }
};

TEST_F(InterruptedBatch, CtrlCStopsEveryChildAndKeepsOnlyWholeOutputs) {
  InterruptAndFinish(SIGINT, true, "Ctrl-C");
}

// A SIGTERM reaches the tool alone, which passes it on to its children.
TEST_F(InterruptedBatch, SigtermStopsEveryChildAndKeepsOnlyWholeOutputs) {
  InterruptAndFinish(SIGTERM, false, "SIGTERM");
}

}  // namespace
}  // namespace sp::tool::testing
