#include "tools/pack_video.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "tools/command_line.h"
#include "tools/ffmpeg_pipe.h"
#include "tools/file_util.h"
#include "tools/scratch_folder.h"

extern char** environ;

namespace sp::tool {
namespace {

namespace fs = std::filesystem;

std::string Tail(const std::string& path) {
  std::error_code error;
  if (!fs::exists(path, error)) return {};
  const std::vector<uint8_t> bytes = ReadWholeFile(path);
  std::string text(bytes.begin(), bytes.end());
  constexpr size_t kTail = 1500;
  if (text.size() > kTail) text = "..." + text.substr(text.size() - kTail);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

// Runs program with argv (argv[0] included), its output into outPath and its
// messages into logPath; the exit status, or -1 when it did not exit.
int Run(const std::vector<std::string>& args, const std::string& outPath, const std::string& logPath) {
  std::vector<std::string> argv = args;
  std::vector<char*> raw;
  for (std::string& a : argv) raw.push_back(a.data());
  raw.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, raw.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw ToolError("cannot start " + argv[0] + ": " + std::strerror(spawned));
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string FindProgram(const std::string& program) {
  try {
    return FindFfmpeg(program);
  } catch (const ToolError&) {
    throw ToolError("pack --video needs the " + program +
                    " program, which is not on PATH; install the Debian package \"ffmpeg\" "
                    "(sudo apt-get install ffmpeg)");
  }
}

// Whether the file has a stream of this kind ("v" or "a"), by ffprobe.
bool HasStream(const std::string& ffprobe, const std::string& path, const std::string& kind,
               const ScratchFolder& work) {
  const std::string out = work.File("probe.out");
  const std::string log = work.File("probe.log");
  const int status = Run({ffprobe, "-v", "error", "-select_streams", kind + ":0", "-show_entries",
                          "stream=index", "-of", "csv=p=0", "--", path},
                         out, log);
  if (status != 0) {
    const std::string why = Tail(log);
    throw ToolError(path + ": not a video ffmpeg can read" + (why.empty() ? "" : ":\n" + why));
  }
  const std::vector<uint8_t> bytes = ReadWholeFile(out);
  return !bytes.empty();
}

void RunFfmpeg(const std::vector<std::string>& args, const std::string& what, const ScratchFolder& work) {
  const std::string log = work.File("ffmpeg.log");
  if (Run(args, work.File("ffmpeg.out"), log) != 0) {
    const std::string why = Tail(log);
    throw ToolError("ffmpeg failed to " + what + (why.empty() ? "" : ":\n" + why));
  }
}

}  // namespace

PackSummary PackVideo(const VideoSource& video, PackOptions options, ProgressBar::Output progress) {
  CheckOutputFree(options.output, options.overwrite);
  const std::string ffmpeg = FindProgram(video.ffmpeg);
  const std::string ffprobe = FindProgram(video.ffprobe);
  std::error_code error;
  if (!fs::is_regular_file(video.path, error)) throw ToolError("cannot open " + video.path);
  // The pictures and the sound on their way from ffmpeg to the packer.
  ScratchFolder work("selfplay-pack");
  std::filesystem::create_directory(work.File("frames"));
  if (!HasStream(ffprobe, video.path, "v", work)) throw ToolError(video.path + ": no video stream");

  // "file:" keeps a name with a colon from being read as a protocol.
  const std::string input = "file:" + fs::absolute(video.path).string();
  const std::vector<std::string> common = {ffmpeg, "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                                           "-i", input};

  // One picture at 0, interval, 2 x interval ...: the picture shown at each
  // of those times.
  std::vector<std::string> frames = common;
  frames.insert(frames.end(), {"-map", "0:v:0", "-vf", "fps=fps=1000/" + std::to_string(options.interval),
                               "-pix_fmt", "rgb24", "-start_number", "0",
                               work.File("frames/frame_%08d.png")});
  RunFfmpeg(frames, "take the pictures of " + video.path, work);

  if (options.sound.empty() && HasStream(ffprobe, video.path, "a", work)) {
    std::vector<std::string> sound = common;
    sound.insert(sound.end(), {"-map", "0:a:0", "-map_metadata", "-1", "-vn"});
    if (video.sound == VideoSound::kClassic) {
      sound.insert(sound.end(), {"-ac", "1", "-ar", "11025", "-c:a", "pcm_u8"});
    } else {
      sound.insert(sound.end(), {"-c:a", "pcm_s16le"});
    }
    // Without encoder tags: a plain RIFF header of "fmt " and "data".
    sound.insert(sound.end(), {"-bitexact", "-f", "wav", work.File("sound.wav")});
    RunFfmpeg(sound, "convert the sound of " + video.path, work);
    options.sound = work.File("sound.wav");
  }

  options.framesFolder = work.File("frames");
  options.changes = recorder::ChangeRule::kVisible;
  std::error_code none;
  if (fs::is_empty(options.framesFolder, none)) throw ToolError(video.path + ": no pictures in the video");
  return Pack(options, progress);
}

}  // namespace sp::tool
