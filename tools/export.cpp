#include "tools/export.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "app/headless/headless_player.h"
#include "app/play_form.h"
#include "payload/payload_reader.h"
#include "payload/sound_track.h"
#include "platform/errors.h"
#include "platform/headless/headless_system.h"
#include "platform/stream.h"
#include "playback/frame_clock.h"
#include "recorder/payload_writer.h"
#include "tools/command_line.h"
#include "tools/ffmpeg_pipe.h"
#include "tools/file_util.h"
#include "tools/png_io.h"
#include "tools/inspect.h"
#include "tools/interrupt.h"
#include "tools/repack.h"
#include "tools/scratch_folder.h"
#include "tools/video_marks.h"
#include "tools/yuv_frame.h"

namespace sp::tool {
namespace {

namespace fs = std::filesystem;

std::string FramePath(const std::string& folder, int32_t index) {
  char name[32];
  std::snprintf(name, sizeof name, "frame_%05d.png", static_cast<int>(index));
  return (fs::path(folder) / name).string();
}

// The pictures that an export left in folder: frame_NNNNN.png (five digits
// or more) and nothing else, lowest number first.
std::vector<std::string> ExportedFramesIn(const std::string& folder) {
  std::vector<std::pair<int64_t, std::string>> found;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    constexpr std::string_view kPrefix = "frame_";
    constexpr std::string_view kSuffix = ".png";
    if (name.size() < kPrefix.size() + 5 + kSuffix.size() || !name.starts_with(kPrefix) || !name.ends_with(kSuffix)) {
      continue;
    }
    const std::string_view digits(name.data() + kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
    int64_t index = 0;
    const auto [end, failure] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
    if (failure != std::errc() || end != digits.data() + digits.size()) continue;
    found.emplace_back(index, entry.path().string());
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> paths;
  for (auto& [index, path] : found) paths.push_back(std::move(path));
  return paths;
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
  const FrameClock clock(head.header.FrameInterval);
  facts.ticksPerFrame = clock.TicksPerFrame();
  facts.tickPeriod = clock.TickMilliseconds();
  return facts;
}

bool Wanted(const std::string& path) { return !path.empty(); }

std::string Millis3(int64_t ms) {
  char text[8];
  std::snprintf(text, sizeof text, "%03d", static_cast<int>(ms));
  return text;
}

// Removes what a failed export had begun to write, so that a file which
// failed leaves nothing to be taken for its output (or refused next time).
class PartialOutputs {
 public:
  void Add(const std::string& path) { paths_.push_back(path); }
  void Keep() { paths_.clear(); }
  // Newest first: a folder goes after what was written into it (and only
  // when nothing else is in it).
  ~PartialOutputs() {
    for (auto path = paths_.rbegin(); path != paths_.rend(); ++path) {
      std::error_code error;
      fs::remove(*path, error);
    }
  }

 private:
  std::vector<std::string> paths_;
};

void WriteText(const std::string& path, const std::string& text) {
  WriteWholeFile(path, std::vector<uint8_t>(text.begin(), text.end()), FileMode::Plain);
}

// The recording read item by item, for the caption, the scene marks and
// where any damage lies; nothing here stops the export.
RecordingInfo Inspect(const std::string& path, uint32_t payloadOffset) {
  InspectOptions options;
  options.payloadOffset = payloadOffset;
  try {
    FileStream file(path);
    return InspectRecording(file, options);
  } catch (const Error& e) {
    throw ToolError(e.what());
  }
}

}  // namespace

std::string CaptionsPath(const std::string& video) {
  return fs::path(video).replace_extension(".vtt").string();
}

std::vector<std::string> ExportOutputs(const ExportOptions& options) {
  std::vector<std::string> outputs;
  if (Wanted(options.framesFolder)) outputs.push_back(FramePath(options.framesFolder, 0));
  for (const std::string* video : {&options.video, &options.webm}) {
    if (!Wanted(*video)) continue;
    outputs.push_back(*video);
    if (options.captions) outputs.push_back(CaptionsPath(*video));
  }
  if (Wanted(options.gif)) outputs.push_back(options.gif);
  return outputs;
}

ExportSummary Export(const ExportOptions& options) {
  const HeaderFacts info = ReadHeader(options.path, options.payloadOffset);
  if (options.overwrite == ExportOptions::Overwrite::kRefuse) {
    std::vector<std::string> outputs = ExportOutputs(options);
    // Pictures of a longer recording would stay behind this one's.
    if (Wanted(options.framesFolder)) {
      for (std::string& frame : ExportedFramesIn(options.framesFolder)) outputs.push_back(std::move(frame));
    }
    for (const std::string& output : outputs) {
      std::error_code error;
      if (fs::exists(output, error)) throw ToolError(output + " exists already; --force overwrites it");
    }
  }
  const bool anyVideo = Wanted(options.video) || Wanted(options.webm);
  std::string ffmpeg;
  if (anyVideo || Wanted(options.gif)) ffmpeg = FindFfmpeg(options.ffmpeg);
  bool madeFramesFolder = false;
  if (!options.framesFolder.empty()) {
    std::error_code error;
    madeFramesFolder = fs::create_directories(options.framesFolder, error);
    if (!fs::is_directory(options.framesFolder)) {
      throw ToolError(options.framesFolder + ": cannot make the folder");
    }
  }
  const bool salvage = options.damage == ExportOptions::Damage::kSalvage;
  RecordingInfo layout = anyVideo || salvage ? Inspect(options.path, options.payloadOffset) : RecordingInfo{};
  ExportSummary summary;

  // The player's sound file, ffmpeg's logs and a re-stubbed copy of the
  // recording.
  ScratchFolder temp("selfplay-tool");
  // The player finds its payload at the offset compiled into it; a
  // recording for another stub size plays from a copy behind a stub of ours.
  // A salvaged recording plays from a copy without its undecodable blocks:
  // nothing in the layout points behind a block, so cutting its bytes out
  // leaves a frame with one block fewer.
  std::string playPath = options.path;
  const bool cutBlocks = salvage && layout.damagedBlock;
  if (options.payloadOffset != PAYLOAD_OFFSET || cutBlocks) {
    std::vector<uint8_t> bytes = ReadWholeFile(options.path);
    while (salvage && layout.damagedBlock) {
      const auto [from, to] = *layout.damagedBlock;
      if (from < 0 || to <= from || to > static_cast<int64_t>(bytes.size())) break;
      summary.leftOut.push_back(layout.damage->message + "; the block was skipped");
      bytes.erase(bytes.begin() + from, bytes.begin() + to);
      ByteViewStream view(bytes);
      InspectOptions again;
      again.payloadOffset = options.payloadOffset;
      layout = InspectRecording(view, again);
    }
    if (options.payloadOffset != PAYLOAD_OFFSET) {
      bytes = ReplaceStub(bytes, options.payloadOffset, recorder::ZeroStub(PAYLOAD_OFFSET));
    }
    playPath = temp.File("recording");
    WriteWholeFile(playPath, bytes, FileMode::Plain);
  }

  HeadlessSystem system;
  system.SetExecutablePath(playPath);
  system.SetTempPath(temp.Path());
  // A screen of the recording's size: the picture is shown 1:1, cursor included.
  system.SetScreenSize(info.frameWidth, info.frameHeight);
  HeadlessPlayer player(system);
  auto firstError = [&](size_t from) { return player.StopReason(from); };
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

  Yuv420Frame yuv(anyVideo ? info.frameWidth : 0, anyVideo ? info.frameHeight : 0);
  PartialOutputs partial;  // destroyed after the pipes: ffmpeg has let go
  std::vector<std::unique_ptr<FfmpegPipe>> pipes;
  const std::string sound = temp.File(kSoundFileName);
  std::error_code error;
  const bool haveSound = info.leadWord != 0 && fs::file_size(sound, error) > 0 && !error;
  // The pictures sent: frame 0 and one a tick.
  const int64_t durationMs = (ticks + 1) * period;
  const std::string& captionText = layout.caption.CaptionText;
  const bool captioned = options.captions && !captionText.empty();
  // Where a damaged recording stops playing: the tick that reads the first
  // frame record not read whole, whether the file ends in it or it holds a
  // value no recorder writes. (Blocks that do not decode are cut out of the
  // copy played already.)
  int64_t soundMs = durationMs;
  if (salvage && layout.damage) {
    soundMs = std::min<int64_t>(soundMs, (int64_t(layout.framesRead) + 1) * ticksPerFrame * period);
  }
  const std::vector<Chapter> chapters =
      SceneChapters(layout.coveredPerFrame, int64_t(info.frameWidth) * info.frameHeight,
                    int64_t(ticksPerFrame) * period, durationMs);
  const std::string chapterFile = temp.File("chapters.txt");
  if (!chapters.empty()) WriteText(chapterFile, FfmetadataChapters(chapters));
  summary.chapters = static_cast<int>(chapters.size());
  for (const std::string* video : {&options.video, &options.webm}) {
    if (!Wanted(*video)) continue;
    const bool webm = video == &options.webm;
    std::vector<std::string> args;
    int input = 1;  // 0 is the pictures
    std::vector<std::string> maps{"-map", "0:v"};
    if (haveSound) {
      args.insert(args.end(), {"-i", sound});
      maps.insert(maps.end(), {"-map", std::to_string(input++) + ":a"});
    }
    if (!chapters.empty()) {
      args.insert(args.end(), {"-f", "ffmetadata", "-i", chapterFile});
      maps.insert(maps.end(), {"-map_chapters", std::to_string(input++)});
    }
    if (captioned) {
      const std::string vtt = CaptionsPath(*video);
      WriteText(vtt, WebVttCaption(captionText, durationMs));
      summary.files.push_back(vtt);
    partial.Add(vtt);
      args.insert(args.end(), {"-i", vtt});
      maps.insert(maps.end(), {"-map", std::to_string(input++) + ":s"});
    }
    args.insert(args.end(), maps.begin(), maps.end());
    // A shorter sound track is padded with silence and a longer one cut,
    // so that the sound lasts exactly as long as the picture. (-shortest
    // ends padded sound early, while the encoders still buffer.)
    if (haveSound) {
      const std::string seconds = std::to_string(soundMs / 1000) + "." + Millis3(soundMs % 1000);
      args.insert(args.end(), {"-af", "apad=whole_dur=" + seconds + ",atrim=end=" + seconds});
    }
    if (webm) {
      args.insert(args.end(), {"-c:v", "libvpx-vp9", "-b:v", "0", "-crf", "32", "-row-mt", "1",
                               "-deadline", "good", "-cpu-used", "4", "-c:a", "libopus"});
    }
    if (captioned) args.insert(args.end(), {"-c:s", webm ? "webvtt" : "mov_text"});
    // The pictures arrive in the encoder's own format, even-sided.
    args.insert(args.end(), {"-pix_fmt", "yuv420p", *video});
    pipes.push_back(std::make_unique<FfmpegPipe>(ffmpeg, yuv.Width(), yuv.Height(), period, args,
                                                 temp.File(webm ? "webm.log" : "video.log"),
                                                 PipePixels::kYuv420p));
    summary.files.push_back(*video);
    partial.Add(*video);
  }
  if (!options.gif.empty()) {
    pipes.push_back(std::make_unique<FfmpegPipe>(
        ffmpeg, info.frameWidth, info.frameHeight, period,
        std::vector<std::string>{"-vf", "split[a][b];[a]palettegen[p];[b][p]paletteuse", options.gif},
        temp.File("gif.log")));
    summary.files.push_back(options.gif);
    partial.Add(options.gif);
  }

  // Only what the tick changed is converted; a tick that handled more than
  // its own message (an error box) converts the whole picture.
  int handled = system.HandledMessages();
  auto sendTick = [&](const Rect& changed) {
    if (anyVideo) yuv.Convert(player.Picture(), changed);
    for (auto& pipe : pipes) {
      if (pipe->Pixels() == PipePixels::kYuv420p) {
        pipe->Write(yuv);
      } else {
        pipe->Write(player.Picture());
      }
    }
    if (!pipes.empty()) ++summary.ticks;
  };
  if (!options.framesFolder.empty()) {
    // Forced: the folder holds this recording's pictures alone afterwards,
    // not some of an earlier, longer one behind them.
    for (const std::string& old : ExportedFramesIn(options.framesFolder)) {
      std::error_code failure;
      if (!fs::remove(old, failure) && failure) throw ToolError(old + ": cannot remove: " + failure.message());
    }
    if (madeFramesFolder) partial.Add(options.framesFolder);
    partial.Add(FramePath(options.framesFolder, 0));
    WritePng(FramePath(options.framesFolder, 0), player.Picture());
    summary.frames = 1;
  }
  sendTick(player.Picture().Bounds());

  ProgressBar bar("export", ticks, options.progress);
  const TPlayForm& form = player.GetForm();
  for (int64_t t = 0; t < ticks && !player.Closed(); ++t) {
    StopIfInterrupted();
    const size_t boxes = system.MessageBoxes().size();
    const int32_t shown = form.CurrentFrame;
    if (!player.Tick()) break;
    if (auto failure = firstError(boxes)) {
      if (salvage) {
        const std::string why = layout.damage ? layout.damage->message : *failure;
        summary.leftOut.push_back("frames " + std::to_string(shown + 1) + " to " +
                                  std::to_string(info.frameCount - 1) + " were left out: " + why);
        break;
      } else {
        for (auto& pipe : pipes) pipe->Finish();
        // The player's own words, and where the damage is when the
        // inspection read it.
        throw ToolError(options.path + ": the player stopped at frame " + std::to_string(shown) + ": " +
                        *failure + (layout.damage ? " (" + layout.damage->message + ")" : ""));
      }
    }
    if (!options.framesFolder.empty() && form.CurrentFrame > shown) {
      partial.Add(FramePath(options.framesFolder, shown));
      WritePng(FramePath(options.framesFolder, shown), player.Picture());
      ++summary.frames;
    }
    const int handledNow = system.HandledMessages();
    sendTick(handledNow == handled + 1 ? system.LastPresented() : player.Picture().Bounds());
    handled = handledNow;
    bar.Update(t + 1);
    if (options.onProgress) options.onProgress(t + 1, ticks);
  }
  bar.Finish();
  for (auto& pipe : pipes) pipe->Finish();
  partial.Keep();
  return summary;
}

}  // namespace sp::tool
