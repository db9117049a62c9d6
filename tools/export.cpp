#include "tools/export.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <utility>

#include "app/headless/headless_run.h"
#include "app/play_form.h"
#include "payload/sound_track.h"
#include "platform/errors.h"
#include "platform/stream.h"
#include "playback/frame_clock.h"
#include "tools/command_line.h"
#include "tools/export_outputs.h"
#include "tools/ffmpeg_pipe.h"
#include "tools/html_output.h"
#include "tools/file_util.h"
#include "tools/inspect.h"
#include "tools/interrupt.h"
#include "tools/recording_errors.h"
#include "tools/scratch_folder.h"
#include "tools/video_marks.h"

namespace sp::tool {
namespace {

namespace fs = std::filesystem;

// Removes what a failed export had begun to write, so that a file which
// failed leaves nothing to be taken for its output (or refused next time).
class PartialOutputs {
 public:
  void Add(const std::vector<std::string>& paths) { paths_.insert(paths_.end(), paths.begin(), paths.end()); }
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

// The outputs the options ask for, in the order they are written.
std::vector<std::unique_ptr<ExportOutput>> OutputsOf(const ExportOptions& options) {
  std::vector<std::unique_ptr<ExportOutput>> outputs;
  if (!options.framesFolder.empty()) outputs.push_back(MakeFrameFolder(options.framesFolder));
  const std::pair<const char*, const std::string*> videos[] = {
      {"mp4", &options.video}, {"webm", &options.webm}, {"gif", &options.gif}};
  for (const auto& [name, path] : videos) {
    if (path->empty()) continue;
    const FfmpegFormat& format = *FindFfmpegFormat(name);
    const bool captioned = options.captions && !format.subtitleCodec.empty();
    outputs.push_back(MakeFfmpegOutput(format, *path, captioned ? Captions::kTrackAndFile : Captions::kNone));
  }
  return outputs;
}

// The recording read item by item, for its header, caption, scene marks and
// where any damage lies. A file in which no video header can be read fails
// here; later damage is for the player to meet.
RecordingInfo Inspect(const std::string& path, uint32_t payloadOffset) {
  CheckReadableFile(path);
  InspectOptions options;
  options.payloadOffset = payloadOffset;
  RecordingInfo layout;
  try {
    FileStream file(path);
    layout = InspectRecording(file, options);
  } catch (const Error& e) {
    throw ToolError(path + ": " + e.what());
  }
  if (!layout.header || layout.TicksPerFrame() == 0) {
    throw ToolError(HeadFaultMessage(path, payloadOffset, layout.damage ? layout.damage->message : "no video header"));
  }
  return layout;
}

// A salvaged recording plays from a copy without its undecodable blocks:
// nothing in the layout points behind a block, so cutting its bytes out
// leaves a frame with one block fewer. None when no block needs cutting.
std::optional<std::vector<uint8_t>> CutDamagedBlocks(const ExportOptions& options, RecordingInfo& layout,
                                                     std::vector<std::string>& leftOut) {
  if (!layout.damagedBlock) return std::nullopt;
  std::vector<uint8_t> bytes = ReadWholeFile(options.path);
  while (layout.damagedBlock) {
    const auto [from, to] = *layout.damagedBlock;
    if (from < 0 || to <= from || to > static_cast<int64_t>(bytes.size())) break;
    leftOut.push_back(layout.damage->message + "; the block was skipped");
    bytes.erase(bytes.begin() + from, bytes.begin() + to);
    ByteViewStream view(bytes);
    InspectOptions again;
    again.payloadOffset = options.payloadOffset;
    layout = InspectRecording(view, again);
  }
  return bytes;
}

// The picture's clock: frame 0 and one picture a tick.
struct TickClock {
  FrameClock frames;
  int64_t ticks = 0;     // after frame 0
  int64_t pictureMs = 0; // what the pictures last
  int64_t endMs = 0;     // where a damaged recording stops playing, else pictureMs
};

TickClock ClockOf(const RecordingInfo& layout, ExportOptions::Damage damage) {
  TickClock clock;
  clock.frames = layout.Clock();
  // The last frame step closes the player; a single frame never ends, so it
  // is given the length of one frame.
  const int32_t frames = layout.FrameCount();
  clock.ticks = frames > 1 ? clock.frames.TickOfFrame(frames - 1) : clock.frames.TicksPerFrame() - 1;
  clock.pictureMs = clock.frames.MillisecondsOf(clock.ticks + 1);
  clock.endMs = clock.pictureMs;
  // The tick that reads the first frame record not read whole, whether the
  // file ends in it or it holds a value no recorder writes. (Blocks that do
  // not decode are cut out of the copy played already.)
  if (damage == ExportOptions::Damage::kSalvage && layout.damage) {
    clock.endMs = std::min(clock.endMs, clock.frames.MillisecondsOfFrame(int64_t{layout.framesRead} + 1));
  }
  return clock;
}

// Sound, chapters and caption for the outputs; the chapter file is written
// into the scratch folder. A salvaged video's chapters and caption end
// where its picture does, as its sound.
ExportMedia MediaOf(const RecordingInfo& layout, const TickClock& clock, const ScratchFolder& scratch,
                    const std::string& ffmpeg) {
  ExportMedia media;
  media.width = layout.header->FrameWidth;
  media.height = layout.header->FrameHeight;
  media.tickPeriod = clock.frames.TickMilliseconds();
  media.soundMs = clock.endMs;
  media.ffmpeg = ffmpeg;
  media.scratchFolder = scratch.Path();
  const std::string sound = scratch.File(kSoundFileName);
  std::error_code error;
  if (layout.leadWord != 0 && fs::file_size(sound, error) > 0 && !error) media.sound = sound;
  const std::vector<Chapter> chapters =
      SceneChapters(layout.coveredPerFrame, int64_t(media.width) * media.height, clock.frames.FrameMilliseconds(),
                    clock.endMs);
  media.chapters = static_cast<int>(chapters.size());
  if (!chapters.empty()) {
    media.chapterFile = scratch.File("chapters.txt");
    const std::string text = FfmetadataChapters(chapters);
    WriteWholeFile(media.chapterFile, std::vector<uint8_t>(text.begin(), text.end()), FileMode::Plain);
  }
  if (layout.caption) media.captionText = layout.caption->CaptionText;
  return media;
}

// Plays every tick, giving each output its picture; stops at the end, or
// where the player stops (salvaged, or ToolError).
void PlayTicks(HeadlessRun& run, const RecordingInfo& layout, const TickClock& clock, const ExportOptions& options,
               std::vector<std::unique_ptr<ExportOutput>>& outputs, ExportSummary& summary) {
  HeadlessSystem& system = run.System();
  HeadlessPlayer& player = run.Player();
  const TPlayForm& form = player.GetForm();
  ProgressBar bar("export", clock.ticks, options.progress);
  // Only what the tick changed is converted; a tick that handled more than
  // its own message (an error box) converts the whole picture.
  int handled = system.HandledMessages();
  for (int64_t t = 0; t < clock.ticks && !player.Closed(); ++t) {
    StopIfInterrupted();
    const size_t boxes = system.MessageBoxes().size();
    const int32_t shown = form.CurrentFrame;
    if (!player.Tick()) break;
    if (auto failure = player.StopReason(boxes)) {
      const std::string why = layout.damage ? layout.damage->message : *failure;
      if (options.damage == ExportOptions::Damage::kSalvage) {
        summary.leftOut.push_back("frames " + std::to_string(shown + 1) + " to " +
                                  std::to_string(layout.FrameCount() - 1) + " were left out: " + why);
        break;
      }
      // The player's own words, and where the damage is when the inspection read it.
      throw ToolError(options.path + ": the player stopped at frame " + std::to_string(shown) + ": " + *failure +
                      (layout.damage ? " (" + layout.damage->message + ")" : "") +
                      "; --salvage exports what plays before it");
    }
    const int handledNow = system.HandledMessages();
    const Rect changed = handledNow == handled + 1 ? system.LastPresented() : player.Picture().Bounds();
    handled = handledNow;
    if (form.CurrentFrame > shown) {
      for (auto& output : outputs) output->FrameShown(shown, player.Picture());
      summary.frames += options.framesFolder.empty() ? 0 : 1;
    }
    for (auto& output : outputs) output->Tick(player.Picture(), changed);
    summary.ticks += options.video.empty() && options.webm.empty() && options.gif.empty() ? 0 : 1;
    bar.Update(t + 1);
    if (options.onProgress) options.onProgress(t + 1, clock.ticks);
  }
  bar.Finish();
}

void RefuseExisting(const ExportOptions& options) {
  if (options.overwrite == ExportOptions::Overwrite::kForce) return;
  std::vector<std::string> outputs = ExportOutputs(options);
  // Pictures of a longer recording would stay behind this one's.
  if (!options.framesFolder.empty()) {
    for (std::string& frame : ExportedFramesIn(options.framesFolder)) outputs.push_back(std::move(frame));
  }
  for (const std::string& output : outputs) CheckOutputFree(output, options.overwrite);
}

}  // namespace

std::string CaptionsPath(const std::string& video) {
  return fs::path(video).replace_extension(".vtt").string();
}

std::vector<std::string> ExportOutputs(const ExportOptions& options) {
  std::vector<std::string> files;
  for (const auto& output : OutputsOf(options)) {
    for (std::string& file : output->Files()) files.push_back(std::move(file));
  }
  if (!options.html.empty()) files.push_back(options.html);
  return files;
}

ExportSummary Export(const ExportOptions& options) {
  RecordingInfo layout = Inspect(options.path, options.payloadOffset);
  RefuseExisting(options);
  // The page carries the recording itself and plays nothing here.
  ExportSummary page;
  if (!options.html.empty()) {
    page = ExportHtml(options);
    if (OutputsOf(options).empty()) return page;
  }
  PartialOutputs partial;  // declared first, destroyed last: ffmpeg has let go
  std::vector<std::unique_ptr<ExportOutput>> outputs = OutputsOf(options);
  const bool viaFfmpeg = !options.video.empty() || !options.webm.empty() || !options.gif.empty();
  const std::string ffmpeg = viaFfmpeg ? FindFfmpeg(options.ffmpeg) : "";
  ExportSummary summary;
  summary.files = page.files;
  std::optional<std::vector<uint8_t>> cut;
  if (options.damage == ExportOptions::Damage::kSalvage) cut = CutDamagedBlocks(options, layout, summary.leftOut);

  // The player's sound file, ffmpeg's logs and any copy of the recording.
  ScratchFolder scratch("selfplay-tool");
  HeadlessRun run({options.path, options.payloadOffset, std::move(cut), scratch.Path(), layout.header->FrameWidth,
                   layout.header->FrameHeight});
  if (run.StartFailure()) throw ToolError(options.path + ": " + *run.StartFailure());

  const TickClock clock = ClockOf(layout, options.damage);
  const ExportMedia media = MediaOf(layout, clock, scratch, ffmpeg);
  summary.chapters = media.chapters;
  for (auto& output : outputs) {
    partial.Add(output->PartialFiles());
    output->Start(media);
  }
  for (auto& output : outputs) {
    for (std::string& file : output->Files()) summary.files.push_back(std::move(file));
  }
  try {
    const Bitmap& first = run.Player().Picture();
    for (auto& output : outputs) output->FrameShown(0, first);
    for (auto& output : outputs) output->Tick(first, first.Bounds());
    summary.frames = options.framesFolder.empty() ? 0 : 1;
    summary.ticks = viaFfmpeg ? 1 : 0;
    PlayTicks(run, layout, clock, options, outputs, summary);
  } catch (const ToolError&) {
    for (auto& output : outputs) {
      try {
        output->Finish();
      } catch (const ToolError&) {
        // The player's failure is the one to report.
      }
      output->Abandon();
    }
    throw;
  }
  for (auto& output : outputs) output->Finish();
  partial.Keep();
  return summary;
}

}  // namespace sp::tool
