#include "tools/export_command.h"

#include <filesystem>
#include <map>
#include <optional>

#include "tools/command_args.h"
#include "tools/export.h"
#include "tools/export_outputs.h"
#include "tools/interrupt.h"

namespace sp::tool {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

// What --out-dir writes: a folder of frames, a web page, or a format of the
// table.
struct OutDirFormat {
  std::string name;               // "png", "html", "mp4" ...
  const FfmpegFormat* ffmpeg = nullptr;  // none for the folder of frames and the page
};

OutDirFormat FormatOf(const ParsedArgs& args) {
  const std::string value = args.Get("--format").value_or("mp4");
  if (value == "png" || value == "html") return {value, nullptr};
  if (const FfmpegFormat* format = FindFfmpegFormat(value)) return {value, format};
  std::string names;
  for (const FfmpegFormat& format : FfmpegFormats()) names += format.name + ", ";
  throw UsageError("--format takes " + names + "png or html, not \"" + value + "\"");
}

void CheckOutputChoice(const ParsedArgs& args) {
  const bool named = args.Has("--frames") || args.Has("--video") || args.Has("--webm") || args.Has("--gif") ||
                     args.Has("--html");
  const bool outDir = args.Has("--out-dir");
  if (outDir && named) {
    throw UsageError("--out-dir names the outputs itself; it goes without --frames, --video, --webm, "
                     "--gif and --html (choose with --format)");
  }
  if (!outDir && args.Has("--format")) throw UsageError("--format chooses the outputs of --out-dir");
  if (!outDir && !named) {
    throw UsageError("say what to export: --out-dir DIR, --frames DIR, --video OUT.mp4, "
                     "--webm OUT.webm, --gif OUT.gif or --html OUT.html");
  }
  const bool video = outDir ? FormatOf(args).ffmpeg && !FormatOf(args).ffmpeg->subtitleCodec.empty()
                            : args.Has("--video") || args.Has("--webm");
  if (args.Has("--captions") && !video) {
    throw UsageError("--captions goes with a video: --video, --webm or --out-dir");
  }
}

// Each output under --out-dir is named after its input; two inputs of one
// name would write one file, so the second of them fails instead.
class OutDirNames {
 public:
  OutDirNames(const std::string& outDir, const OutDirFormat& format, const std::vector<std::string>& inputs) {
    std::error_code error;
    fs::create_directories(outDir, error);
    if (!fs::is_directory(outDir)) throw ToolError(outDir + ": cannot make the folder");
    const std::string extension = format.ffmpeg ? format.ffmpeg->extension : format.name == "html" ? ".html" : "";
    for (const std::string& path : inputs) {
      const std::string output = (fs::path(outDir) / fs::path(path).stem()).string() + extension;
      outputOf_[path] = output;
      firstWriter_.emplace(output, path);
    }
  }

  const std::string& OutputOf(const std::string& path) const {
    const std::string& output = outputOf_.at(path);
    if (firstWriter_.at(output) != path) {
      throw ToolError("its output " + output + " is the output of " + firstWriter_.at(output) + " already");
    }
    return output;
  }

 private:
  std::map<std::string, std::string> outputOf_;
  std::map<std::string, std::string> firstWriter_;  // by output
};

void NameOutputs(const ParsedArgs& args, const OutDirFormat* format, const OutDirNames* names,
                 ExportOptions& options) {
  if (!names) {
    options.framesFolder = args.Get("--frames").value_or("");
    options.video = args.Get("--video").value_or("");
    options.webm = args.Get("--webm").value_or("");
    options.gif = args.Get("--gif").value_or("");
    options.html = args.Get("--html").value_or("");
    return;
  }
  const std::string& output = names->OutputOf(options.path);
  if (format->name == "png") options.framesFolder = output;
  if (format->name == "mp4") options.video = output;
  if (format->name == "webm") options.webm = output;
  if (format->name == "gif") options.gif = output;
  if (format->name == "html") options.html = output;
}

// A JSON line at the start, every 5 percent and at the end of each file.
void ReportProgress(const std::string& path, const ProgressSink& sink, ExportOptions& options, int& lastStep) {
  options.progress = ProgressBar::Output::Never;
  sink(ProgressLine(Json{{"file", path}, {"event", "start"}}));
  options.onProgress = [&lastStep, path, sink](int64_t done, int64_t total) {
    const int percent = static_cast<int>(done * 100 / std::max<int64_t>(total, 1));
    if (percent / 5 == lastStep) return;
    lastStep = percent / 5;
    sink(ProgressLine(Json{{"file", path}, {"event", "progress"}, {"percent", percent}, {"ticks", done},
                           {"of", total}}));
  };
}

FileOutcome ExportOneFile(const ExportOptions& options, ProgressLines progress, const ProgressSink& sink) {
  FileOutcome outcome;
  const std::string& path = options.path;
  try {
    const ExportSummary summary = Export(options);
    outcome.ok = true;
    outcome.partial = !summary.leftOut.empty();
    for (const std::string& what : summary.leftOut) {
      outcome.err += "selfplay-tool export: " + path + ": salvaged: " + what + "\n";
    }
    if (progress == ProgressLines::kJson) {
      sink(ProgressLine(Json{{"file", path}, {"event", "done"}, {"ok", true}, {"outputs", summary.files},
                             {"leftOut", summary.leftOut}}));
    }
  } catch (const ToolError& e) {
    const std::string message = e.what();
    // The player's messages name the file already.
    outcome.err = "selfplay-tool export: " + (message.starts_with(path) ? message : path + ": " + message) + "\n";
    if (progress == ProgressLines::kJson) {
      sink(ProgressLine(Json{{"file", path}, {"event", "done"}, {"ok", false}, {"error", message}}));
    }
  }
  return outcome;
}

// A run into --out-dir that was stopped, or that failed for some files,
// is finished by the same command again: an input whose main output exists
// is passed over, as an earlier run wrote it whole (an export removes all
// it leaves unfinished) and nothing is overwritten. Captions go only with a
// caption, so the video alone tells.
std::optional<FileOutcome> ExportedBefore(const ExportOptions& options, ProgressLines progress,
                                          const ProgressSink& sink) {
  const std::vector<std::string> outputs = ExportOutputs(options);
  std::error_code error;
  if (outputs.empty() || !fs::exists(fs::symlink_status(outputs.front(), error))) return std::nullopt;
  FileOutcome outcome;
  outcome.ok = true;
  outcome.skipped = true;
  outcome.err = "selfplay-tool export: " + options.path + ": skipped: " + outputs.front() +
                " exists already; --force writes it again\n";
  if (progress == ProgressLines::kJson) {
    sink(ProgressLine(Json{{"file", options.path}, {"event", "done"}, {"ok", true}, {"skipped", true},
                           {"outputs", outputs}}));
  }
  return outcome;
}

}  // namespace

int RunExport(const ParsedArgs& args, std::ostream& out, std::ostream& err) {
  // An export stops at its next tick and removes its outputs.
  CatchInterrupts();
  CheckOutputChoice(args);
  ExportOptions common;
  common.payloadOffset = PayloadOffset(args);
  common.captions = args.Has("--captions");
  common.overwrite = OverwriteOf(args);
  if (args.Has("--salvage")) common.damage = ExportOptions::Damage::kSalvage;
  const ProgressLines progress = Progress(args);
  const auto outDir = args.Get("--out-dir");
  const Batch batch = FindBatch(args);
  if (!outDir && batch.files.size() != 1) throw UsageError("several recordings are exported with --out-dir DIR");
  std::optional<OutDirFormat> format;
  std::optional<OutDirNames> names;
  if (outDir) {
    format = FormatOf(args);
    names.emplace(*outDir, *format, batch.files);
  }
  const FileWork work = [&](const std::string& path, const ProgressSink& sink) {
    ExportOptions options = common;
    options.path = path;
    NameOutputs(args, format ? &*format : nullptr, names ? &*names : nullptr, options);
    int lastStep = -1;
    if (progress == ProgressLines::kJson) ReportProgress(path, sink, options, lastStep);
    if (outDir && options.overwrite != ExportOptions::Overwrite::kForce) {
      if (std::optional<FileOutcome> done = ExportedBefore(options, progress, sink)) return *done;
    }
    return ExportOneFile(options, progress, sink);
  };
  const BatchCounts counts = RunFiles(batch.files, Jobs(args), work, out, err);
  return ReportBatchEnd("export", batch, counts, err,
                        counts.partial > 0 ? " (" + std::to_string(counts.partial) + " salvaged with parts left out)"
                                           : "");
}

CommandSpec ExportCommandSpec() {
  return {"export",
          "FILE|FOLDER...",
          "write what the player shows as pictures or video",
          "Plays each recording on the headless back end, so that every picture is the\n"
          "player's own. --frames writes frame_00000.png ... (frame 0 included) as each\n"
          "frame step leaves the picture; --video, --webm and --gif pipe every tick's\n"
          "picture to ffmpeg at the tick rate, the videos with the sound track (padded with\n"
          "silence or cut to the picture's length) and with chapters where a frame changes\n"
          "most of the screen. --html writes one self-contained web page holding the web\n"
          "player and the recording, which plays from a file with no network.\n"
          "--out-dir exports any number of files and folders (searched for recordings by\n"
          "content), each output named after its input. An existing output is never\n"
          "overwritten without --force: under --out-dir its input is skipped, so the same\n"
          "command again finishes a batch that was stopped. The exit status is 1 when any\n"
          "file failed; several files end with a line counting them.",
          {kOffsetOption,
           {"--frames", "DIR", "write one PNG per frame into DIR", ""},
           {"--video", "OUT.mp4", "write an H.264 video with sound (needs ffmpeg)", ""},
           {"--webm", "OUT.webm", "write a VP9 video with Opus sound (needs ffmpeg)", ""},
           {"--gif", "OUT.gif", "write an animated GIF (needs ffmpeg)", ""},
           {"--html", "OUT.html", "write one web page that plays the recording, from a file or a site", ""},
           {"--out-dir", "DIR", "write each input's output into DIR, named after the input", ""},
           {"--format", "mp4|webm|gif|png|html", "what --out-dir writes (default mp4; png: a folder of frames)", ""},
           {"--captions", "", "the caption as a subtitle track and a WebVTT file beside the video", ""},
           kForceOption,
           {"--salvage", "", "export a damaged recording up to its damage, skipping broken blocks", ""},
           kJobsOption,
           kProgressOption},
          1,
          kManyFiles,
          {{"selfplay-tool export lesson.exe --video lesson.mp4 --captions", "an MP4 with sound and the caption"},
           {"selfplay-tool export --out-dir videos/ --format webm -j 2 recordings/", "a WebM for every recording"},
           {"selfplay-tool export damaged.exe --video part.mp4 --salvage",
            "what still plays of a damaged recording"}}};
}

}  // namespace sp::tool
