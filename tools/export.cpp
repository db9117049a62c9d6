#include "tools/export.h"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>

#include "app/headless/headless_player.h"
#include "app/play_form.h"
#include "payload/payload_reader.h"
#include "payload/sound_track.h"
#include "platform/errors.h"
#include "platform/headless/headless_system.h"
#include "platform/stream.h"
#include "recorder/payload_writer.h"
#include "tools/command_line.h"
#include "tools/ffmpeg_pipe.h"
#include "tools/file_util.h"
#include "tools/png_io.h"
#include "tools/repack.h"

namespace sp::tool {
namespace {

namespace fs = std::filesystem;

// A private folder for the player's sound file, ffmpeg's logs and a
// re-stubbed copy of the recording; removed with everything in it.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "selfplay-tool-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw ToolError("cannot make a temporary folder");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code error;
    fs::remove_all(path_, error);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  // With the separator at the end, as the player's temporary path is given.
  std::string Path() const { return path_.string() + "/"; }

 private:
  fs::path path_;
};

std::string FramePath(const std::string& folder, int32_t index) {
  char name[32];
  std::snprintf(name, sizeof name, "frame_%05d.png", static_cast<int>(index));
  return (fs::path(folder) / name).string();
}

// The frame size and clock of the recording, from its video header alone.
struct HeaderFacts {
  uint32_t leadWord = 0;
  int32_t frameWidth = 0;
  int32_t frameHeight = 0;
  int32_t frameCount = 0;
  int32_t ticksPerFrame = 0;
  int32_t tickPeriod = 0;  // milliseconds
};

HeaderFacts ReadHeader(const std::string& path, uint32_t payloadOffset) {
  PayloadHead head;
  try {
    FileStream file(path);
    head = ReadPayloadHead(file, payloadOffset);
  } catch (const PayloadEndError& e) {
    throw ToolError(path + ": " + e.Fault().message);
  } catch (const DamagedRecording& e) {
    throw ToolError(path + ": " + e.Fault().message);
  } catch (const Error& e) {
    throw ToolError(e.what());
  }
  HeaderFacts facts;
  facts.leadWord = head.leadWord;
  facts.frameWidth = head.header.FrameWidth;
  facts.frameHeight = head.header.FrameHeight;
  facts.frameCount = head.header.FrameCount;
  facts.ticksPerFrame = TicksPerFrameOf(head.header.FrameInterval);
  facts.tickPeriod = head.header.FrameInterval / facts.ticksPerFrame;
  return facts;
}

}  // namespace

ExportSummary Export(const ExportOptions& options) {
  const HeaderFacts info = ReadHeader(options.path, options.payloadOffset);
  std::string ffmpeg;
  if (!options.video.empty() || !options.gif.empty()) ffmpeg = FindFfmpeg(options.ffmpeg);
  if (!options.framesFolder.empty()) {
    std::error_code error;
    fs::create_directories(options.framesFolder, error);
    if (!fs::is_directory(options.framesFolder)) {
      throw ToolError(options.framesFolder + ": cannot make the folder");
    }
  }

  TempFolder temp;
  // The player finds its payload at the offset compiled into it; a
  // recording for another stub size plays from a copy behind a stub of ours.
  std::string playPath = options.path;
  if (options.payloadOffset != PAYLOAD_OFFSET) {
    playPath = temp.File("recording");
    WriteWholeFile(playPath,
                   ReplaceStub(ReadWholeFile(options.path), options.payloadOffset,
                               recorder::ZeroStub(PAYLOAD_OFFSET)),
                   FileMode::Plain);
  }

  HeadlessSystem system;
  system.SetExecutablePath(playPath);
  system.SetTempPath(temp.Path());
  // A screen of the recording's size: the picture is shown 1:1, cursor included.
  system.SetScreenSize(info.frameWidth, info.frameHeight);
  HeadlessPlayer player(system);
  auto firstError = [&](size_t from) -> std::optional<std::string> {
    const auto& boxes = system.MessageBoxes();
    for (size_t i = from; i < boxes.size(); ++i) {
      if (boxes[i].kind == MessageBoxRecord::Kind::kError) return boxes[i].text;
    }
    return std::nullopt;
  };
  if (!player.Created()) {
    throw ToolError(options.path + ": the player could not start: " + firstError(0).value_or("?"));
  }
  if (auto error = firstError(0)) {
    throw ToolError(options.path + ": the player could not show frame 0: " + *error);
  }

  const int period = info.tickPeriod;
  const int ticksPerFrame = info.ticksPerFrame;
  // The last frame step closes the player; a single frame never ends, so it
  // is given the length of one frame.
  const int64_t ticks = info.frameCount > 1 ? int64_t(info.frameCount - 1) * ticksPerFrame
                                            : ticksPerFrame - 1;

  std::vector<std::unique_ptr<FfmpegPipe>> pipes;
  const std::string sound = temp.File(kSoundFileName);
  std::error_code error;
  const bool haveSound = info.leadWord != 0 && fs::file_size(sound, error) > 0 && !error;
  if (!options.video.empty()) {
    std::vector<std::string> args;
    if (haveSound) args.insert(args.end(), {"-i", sound, "-shortest"});
    // Encoders of 4:2:0 video want even sides.
    args.insert(args.end(), {"-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2", "-pix_fmt", "yuv420p",
                             options.video});
    pipes.push_back(std::make_unique<FfmpegPipe>(ffmpeg, info.frameWidth, info.frameHeight, period,
                                                 args, temp.File("video.log")));
  }
  if (!options.gif.empty()) {
    pipes.push_back(std::make_unique<FfmpegPipe>(
        ffmpeg, info.frameWidth, info.frameHeight, period,
        std::vector<std::string>{"-vf", "split[a][b];[a]palettegen[p];[b][p]paletteuse", options.gif},
        temp.File("gif.log")));
  }

  ExportSummary summary;
  auto sendTick = [&] {
    for (auto& pipe : pipes) pipe->Write(player.Picture());
    if (!pipes.empty()) ++summary.ticks;
  };
  if (!options.framesFolder.empty()) {
    WritePng(FramePath(options.framesFolder, 0), player.Picture());
    summary.frames = 1;
  }
  sendTick();

  ProgressBar bar("export", ticks, options.progress);
  const TPlayForm& form = player.GetForm();
  for (int64_t t = 0; t < ticks && !player.Closed(); ++t) {
    const size_t boxes = system.MessageBoxes().size();
    const int32_t shown = form.CurrentFrame;
    if (!player.Tick()) break;
    if (auto failure = firstError(boxes)) {
      for (auto& pipe : pipes) pipe->Finish();
      throw ToolError(options.path + ": the player stopped at frame " + std::to_string(shown) + ": " +
                      *failure);
    }
    if (!options.framesFolder.empty() && form.CurrentFrame > shown) {
      WritePng(FramePath(options.framesFolder, shown), player.Picture());
      ++summary.frames;
    }
    sendTick();
    bar.Update(t + 1);
  }
  bar.Finish();
  for (auto& pipe : pipes) pipe->Finish();
  return summary;
}

}  // namespace sp::tool
