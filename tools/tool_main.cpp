#include "tools/tool_main.h"

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>

#include "payload/layout.h"
#include "payload/payload_locator.h"
#include "platform/errors.h"
#include "platform/stream.h"
#include "tools/batch.h"
#include "tools/command_line.h"
#include "tools/completions.h"
#include "tools/export.h"
#include "tools/extract_sound.h"
#include "tools/file_util.h"
#include "tools/info_report.h"
#include "tools/inspect.h"
#include "tools/interrupt.h"
#include "tools/pack.h"
#include "tools/pack_video.h"
#include "tools/repack.h"
#include "tools/stub_choice.h"
#include "tools/text_format.h"
#include "tools/thumbnail.h"

namespace sp::tool {
namespace {

using Handler = std::function<int(const ParsedArgs&, std::ostream& out, std::ostream& err)>;

struct Command {
  CommandSpec syntax;
  Handler run;
};

const OptionSpec kJobsOption{"--jobs", "N", "work on N files at once (default 1)", "-j"};
const OptionSpec kProgressOption{"--progress", "json",
                                 "one JSON object a line on stderr per file and every 5 percent", ""};
// Command lines hold far fewer; this is "no limit".
constexpr size_t kManyFiles = 1'000'000;

const OptionSpec kOffsetOption{"--offset", "N",
                               "the payload begins at offset N (the stub's size; default: found in the "
                               "file, behind a Windows executable's image, a 495616-byte stub, or at 0)",
                               ""};

uint32_t PayloadOffset(const ParsedArgs& args) {
  if (auto text = args.Get("--offset")) {
    return static_cast<uint32_t>(ParseInteger(*text, "--offset", 0, UINT32_MAX - 4));
  }
  // Where no place holds a recording, the command reports what it finds at
  // the stub's size.
  try {
    FileStream file(args.Positional().at(0));
    return LocatePayload(file).offset;
  } catch (const std::exception&) {
    return PAYLOAD_OFFSET;
  }
}

// The player built beside this program (the Windows one when it is there),
// unless --stub or --for names another; checked to be a stub.
std::string StubPath(const ParsedArgs& args) {
  return ChooseStub(args.Get("--stub"), args.Get("--for"), ProgramDirectory());
}

int Jobs(const ParsedArgs& args) {
  return static_cast<int>(ParseInteger(args.Get("--jobs").value_or("1"), "--jobs", 1, 64));
}

enum class ProgressLines { kNone, kJson };

ProgressLines Progress(const ParsedArgs& args) {
  const auto value = args.Get("--progress");
  if (!value) return ProgressLines::kNone;
  if (*value != "json") throw UsageError("--progress takes json, not \"" + *value + "\"");
  return ProgressLines::kJson;
}

std::string ProgressLine(const nlohmann::ordered_json& line) {
  return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

// The files of a batch, and whether its end is reported with a count.
struct Batch {
  std::vector<std::string> files;
  bool summarised = false;
};

Batch FindBatch(const ParsedArgs& args) {
  Batch batch;
  batch.files = FindRecordings(args.Positional(), PayloadOffset(args));
  batch.summarised = batch.files.size() != 1 || AnyFolder(args.Positional());
  // Folders without a single recording are more likely a wrong path than
  // a batch that succeeded.
  if (batch.files.empty()) throw ToolError("no recordings found in the folders given");
  return batch;
}

int Finish(const std::string& command, const Batch& batch, const BatchCounts& counts, std::ostream& err,
           const std::string& extra = "") {
  if (counts.signal != 0) {
    // What is whole is kept; a second run finishes the rest.
    err << "selfplay-tool " << command << ": " << InterruptionName(counts.signal) << ": " << counts.succeeded
        << " of " << batch.files.size() << " file" << (batch.files.size() == 1 ? "" : "s") << " finished, "
        << counts.failed << " failed, " << counts.stopped << " stopped, " << counts.notStarted
        << " not started; nothing of the stopped ones was kept\n";
    return 128 + counts.signal;
  }
  if (batch.summarised) {
    err << "selfplay-tool " << command << ": " << counts.succeeded + counts.failed << " file"
        << (counts.succeeded + counts.failed == 1 ? "" : "s") << ", " << counts.succeeded << " succeeded, "
        << counts.failed << " failed" << extra << "\n";
  }
  return counts.failed == 0 ? 0 : 1;
}

int RunInfo(const ParsedArgs& args, std::ostream& out, std::ostream& err) {
  InspectOptions options;
  options.payloadOffset = PayloadOffset(args);
  if (args.Has("--decode")) options.jpeg = JpegCheck::FullDecode;
  const bool json = args.Has("--json");
  const ProgressLines progress = Progress(args);
  const Batch batch = FindBatch(args);
  const FileWork work = [&](const std::string& path, const ProgressSink& sink) {
    FileOutcome outcome;
    RecordingInfo info;
    std::string failure;
    try {
      FileStream file(path);
      info = InspectRecording(file, options);
      if (info.damage) failure = path + ": " + info.damage->message;
    } catch (const Error& e) {
      failure = e.what();
    }
    if (json) {
      nlohmann::ordered_json line{{"file", path}};
      if (info.fileSize > 0 || info.damage) {
        line.update(InfoJsonObject(info));
      } else {
        line["error"] = failure;
      }
      outcome.out = ProgressLine(line) + "\n";
    } else if (failure.empty() || info.fileSize > 0) {
      outcome.out = (batch.summarised ? path + ":\n" : "") + InfoText(info) + (batch.summarised ? "\n" : "");
    }
    outcome.ok = failure.empty();
    if (!outcome.ok) outcome.err = "selfplay-tool info: " + failure + "\n";
    if (progress == ProgressLines::kJson) {
      sink(ProgressLine({{"file", path}, {"event", "done"}, {"ok", outcome.ok}}));
    }
    return outcome;
  };
  return Finish("info", batch, RunFiles(batch.files, Jobs(args), work, out, err), err);
}

int RunPack(const ParsedArgs& args, std::ostream&, std::ostream& err) {
  PackOptions options;
  if (args.Has("--frames") == args.Has("--video")) {
    throw UsageError("say what to pack: --frames DIR or --video IN.mp4");
  }
  if (args.Has("--keep-sound-format") && (!args.Has("--video") || args.Has("--sound"))) {
    throw UsageError("--keep-sound-format keeps the sound of --video; it goes without --sound");
  }
  options.framesFolder = args.Get("--frames").value_or("");
  options.interval = static_cast<int32_t>(
      ParseInteger(args.Require("--interval"), "--interval", kMinFrameInterval, INT32_MAX));
  options.output = args.Require("--output");
  options.cursorTrack = args.Get("--cursor").value_or("");
  options.sound = args.Get("--sound").value_or("");
  options.stub = StubPath(args);
  recorder::CaptionStyle& caption = options.caption;
  caption.text = args.Get("--caption").value_or("");
  if (!caption.text.empty()) {
    const Size at = ParsePair(args.Get("--caption-pos").value_or("0,0"), "--caption-pos");
    caption.x = at.width;
    caption.y = at.height;
    caption.fontName = args.Get("--font").value_or("Arial");
    caption.fontSize =
        static_cast<int32_t>(ParseInteger(args.Get("--font-size").value_or("18"), "--font-size", 1, 1000));
    const uint32_t rrggbb = ParseRrggbb(args.Get("--font-color").value_or("000000"), "--font-color");
    // The payload holds colours as 0x00BBGGRR.
    caption.fontColor = (rrggbb & 0xFF) << 16 | (rrggbb & 0xFF00) | (rrggbb >> 16 & 0xFF);
    caption.bold = args.Has("--bold") ? 1 : 0;
    caption.italic = args.Has("--italic") ? 1 : 0;
    caption.underline = args.Has("--underline") ? 1 : 0;
    caption.strikeOut = args.Has("--strike-out") ? 1 : 0;
  } else {
    for (const char* option : {"--caption-pos", "--font", "--font-size", "--font-color", "--bold",
                               "--italic", "--underline", "--strike-out"}) {
      if (args.Has(option)) throw UsageError(std::string(option) + " needs --caption");
    }
  }
  PackSummary summary;
  if (auto video = args.Get("--video")) {
    VideoSource source;
    source.path = *video;
    if (args.Has("--keep-sound-format")) source.sound = VideoSound::kKept;
    summary = PackVideo(source, options);
  } else {
    summary = Pack(options);
  }
  if (summary.stubBytes != PAYLOAD_OFFSET) {
    err << "selfplay-tool pack: warning: the stub " << options.stub << " is "
        << Thousands(summary.stubBytes) << " bytes; a player of this format reads its payload at "
        << Thousands(PAYLOAD_OFFSET) << "\n";
  }
  return 0;
}

int RunExtractSound(const ParsedArgs& args, std::ostream&, std::ostream&) {
  ExtractSound(args.Positional()[0], PayloadOffset(args), args.Require("--output"));
  return 0;
}

int RunRepack(const ParsedArgs& args, std::ostream&, std::ostream&) {
  const std::vector<uint8_t> recording = ReadWholeFile(args.Positional()[0]);
  const std::vector<uint8_t> stub = ReadWholeFile(StubPath(args));
  const std::vector<uint8_t> file = ReplaceStub(recording, PayloadOffset(args), stub);
  WriteWholeFile(args.Require("--output"), file, FileMode::Executable);
  return 0;
}

enum class OutputKind { kMp4, kWebm, kGif, kPng };

OutputKind Format(const ParsedArgs& args) {
  const std::string value = args.Get("--format").value_or("mp4");
  if (value == "mp4") return OutputKind::kMp4;
  if (value == "webm") return OutputKind::kWebm;
  if (value == "gif") return OutputKind::kGif;
  if (value == "png") return OutputKind::kPng;
  throw UsageError("--format takes mp4, webm, gif or png, not \"" + value + "\"");
}

int RunExport(const ParsedArgs& args, std::ostream& out, std::ostream& err) {
  // An export stops at its next tick and removes its outputs.
  CatchInterrupts();
  ExportOptions common;
  common.payloadOffset = PayloadOffset(args);
  common.captions = args.Has("--captions");
  if (args.Has("--force")) common.overwrite = ExportOptions::Overwrite::kForce;
  if (args.Has("--salvage")) common.damage = ExportOptions::Damage::kSalvage;
  const ProgressLines progress = Progress(args);
  const auto outDir = args.Get("--out-dir");
  const bool named = args.Has("--frames") || args.Has("--video") || args.Has("--webm") || args.Has("--gif");
  if (outDir && named) {
    throw UsageError("--out-dir names the outputs itself; it goes without --frames, --video, --webm "
                     "and --gif (choose with --format)");
  }
  if (!outDir && args.Has("--format")) throw UsageError("--format chooses the outputs of --out-dir");
  if (!outDir && !named) {
    throw UsageError("say what to export: --out-dir DIR, --frames DIR, --video OUT.mp4, "
                     "--webm OUT.webm or --gif OUT.gif");
  }
  const OutputKind kind = outDir ? Format(args) : OutputKind::kMp4;
  const bool videoOut = outDir ? kind == OutputKind::kMp4 || kind == OutputKind::kWebm
                               : args.Has("--video") || args.Has("--webm");
  if (common.captions && !videoOut) {
    throw UsageError("--captions goes with a video: --video, --webm or --out-dir");
  }
  const Batch batch = FindBatch(args);
  if (!outDir && batch.files.size() != 1) {
    throw UsageError("several recordings are exported with --out-dir DIR");
  }
  if (outDir) {
    std::error_code error;
    std::filesystem::create_directories(*outDir, error);
    if (!std::filesystem::is_directory(*outDir)) throw ToolError(*outDir + ": cannot make the folder");
  }

  // Each output is named after its input; two inputs of one name would
  // write one file, so the second of them fails instead.
  std::map<std::string, std::string> outputOf;
  std::map<std::string, std::string> firstWriter;  // by output
  for (const std::string& path : batch.files) {
    if (!outDir) break;
    const std::filesystem::path stem = std::filesystem::path(path).stem();
    const std::string base = (std::filesystem::path(*outDir) / stem).string();
    const char* extension = kind == OutputKind::kMp4 ? ".mp4" : kind == OutputKind::kWebm ? ".webm"
                            : kind == OutputKind::kGif ? ".gif" : "";
    outputOf[path] = base + extension;
    firstWriter.emplace(base + extension, path);
  }

  const FileWork work = [&](const std::string& path, const ProgressSink& sink) {
    ExportOptions options = common;
    options.path = path;
    if (outDir) {
      const std::string& output = outputOf.at(path);
      if (firstWriter.at(output) != path) {
        throw ToolError("its output " + output + " is the output of " + firstWriter.at(output) +
                        " already");
      }
      switch (kind) {
        case OutputKind::kMp4: options.video = output; break;
        case OutputKind::kWebm: options.webm = output; break;
        case OutputKind::kGif: options.gif = output; break;
        case OutputKind::kPng: options.framesFolder = output; break;
      }
    } else {
      options.framesFolder = args.Get("--frames").value_or("");
      options.video = args.Get("--video").value_or("");
      options.webm = args.Get("--webm").value_or("");
      options.gif = args.Get("--gif").value_or("");
    }
    using Json = nlohmann::ordered_json;
    int lastStep = -1;
    if (progress == ProgressLines::kJson) {
      options.progress = ProgressBar::Output::Never;
      sink(ProgressLine(Json{{"file", path}, {"event", "start"}}));
      // A line every 5 percent.
      options.onProgress = [&](int64_t done, int64_t total) {
        const int percent = static_cast<int>(done * 100 / std::max<int64_t>(total, 1));
        if (percent / 5 == lastStep) return;
        lastStep = percent / 5;
        sink(ProgressLine(Json{{"file", path}, {"event", "progress"}, {"percent", percent},
                               {"ticks", done}, {"of", total}}));
      };
    }
    FileOutcome outcome;
    try {
      const ExportSummary summary = Export(options);
      outcome.ok = true;
      if (!summary.leftOut.empty()) {
        outcome.partial = true;
        for (const std::string& what : summary.leftOut) {
          outcome.err += "selfplay-tool export: " + path + ": salvaged: " + what + "\n";
        }
      }
      if (progress == ProgressLines::kJson) {
        sink(ProgressLine(Json{{"file", path}, {"event", "done"}, {"ok", true}, {"outputs", summary.files},
                               {"leftOut", summary.leftOut}}));
      }
    } catch (const ToolError& e) {
      const std::string message = e.what();
      // The player's messages name the file already.
      outcome.err = "selfplay-tool export: " +
                    (message.starts_with(path) ? message : path + ": " + message) + "\n";
      if (progress == ProgressLines::kJson) {
        sink(ProgressLine(Json{{"file", path}, {"event", "done"}, {"ok", false}, {"error", message}}));
      }
    }
    return outcome;
  };
  const BatchCounts counts = RunFiles(batch.files, Jobs(args), work, out, err);
  return Finish("export", batch, counts, err,
                counts.partial > 0 ? " (" + std::to_string(counts.partial) + " salvaged with parts left out)"
                                   : "");
}

int RunThumbnail(const ParsedArgs& args, std::ostream&, std::ostream&) {
  ThumbnailOptions options;
  options.path = args.Positional()[0];
  options.output = args.Positional()[1];
  options.payloadOffset = PayloadOffset(args);
  if (auto size = args.Get("--size")) {
    options.size = static_cast<int>(ParseInteger(*size, "--size", 1, kMaxFrameSide));
  }
  if (auto time = args.Get("--time")) {
    char* end = nullptr;
    const double seconds = std::strtod(time->c_str(), &end);
    if (time->empty() || *end != '\0' || !(seconds >= 0) || seconds > 1e9) {
      throw UsageError("--time takes seconds from the start, such as 12.5");
    }
    options.seconds = seconds;
  }
  WriteThumbnail(options);
  return 0;
}

const OptionSpec kOutput{"--output", "OUT", "the file to write", "-o"};

std::vector<Command> Commands();

int RunCompletion(const ParsedArgs& args, std::ostream& out, std::ostream&) {
  const std::string& name = args.Positional()[0];
  Shell shell;
  if (name == "bash") {
    shell = Shell::kBash;
  } else if (name == "zsh") {
    shell = Shell::kZsh;
  } else if (name == "fish") {
    shell = Shell::kFish;
  } else {
    throw UsageError("no completion for the shell \"" + name + "\"; say bash, zsh or fish");
  }
  std::vector<CommandSpec> syntaxes;
  for (const Command& command : Commands()) syntaxes.push_back(command.syntax);
  CommandSpec help{"help", "COMMAND", "show the commands, or one command's options", "", {}, 0, 1};
  out << CompletionScript(shell, "selfplay-tool", syntaxes, {help});
  return 0;
}

std::vector<Command> Commands() {
  return {
      {{"info", "FILE|FOLDER...", "show and check the layout of recordings",
        "Reads each self-playing FILE item by item and prints its layout: stub, sound\n"
        "track, frames, cursor, caption and blocks. A FOLDER is searched at any depth for\n"
        "files that hold a recording (by their content, whatever their names). Damage is\n"
        "reported on stderr with the item and file offset where it was found. With --json\n"
        "each file is one JSON object on a line of its own. The exit status is 1 when any\n"
        "file is damaged or unreadable; several files end with a line counting them.",
        {kOffsetOption,
         {"--json", "", "print each layout as one JSON object a line", ""},
         {"--decode", "", "decode every JPEG fully, not only its header", ""},
         kJobsOption,
         kProgressOption},
        1, kManyFiles},
       RunInfo},
      {{"pack", "", "build a self-playing file from a folder of pictures or a video",
        "Builds a self-playing file: the pictures of DIR (PNG or JPEG, in name order, all of\n"
        "one size) become the key frame and the frame records of changed rectangles.\n"
        "With --video, ffmpeg takes one picture of the video every --interval ms and\n"
        "converts its sound to 8-bit mono 11,025 Hz WAV (or keeps its rate and channels).\n"
        "The cursor track is CSV: frame,x,y[,icon.ico] (frame 0 is the first cursor; a\n"
        "frame without a row keeps the previous position; an icon changes the shape).",
        {{"--frames", "DIR", "the folder of pictures", ""},
         {"--video", "IN.mp4", "a screen capture video instead of pictures (needs ffmpeg)", ""},
         {"--keep-sound-format", "", "keep the video's sample rate and channels (16-bit PCM)", ""},
         {"--interval", "MS", "milliseconds from one frame to the next, at least 40 (required)", ""},
         {"--cursor", "CSV", "the cursor track; without it the recording has no cursor", ""},
         {"--sound", "WAV", "the sound track, a RIFF WAVE file", ""},
         {"--caption", "TEXT", "text drawn on every frame (at most 40 bytes in GBK)", ""},
         {"--caption-pos", "X,Y", "the caption's top-left corner (default 0,0)", ""},
         {"--font", "NAME", "the caption's font (default Arial)", ""},
         {"--font-size", "PT", "the caption's size in points (default 18)", ""},
         {"--font-color", "RRGGBB", "the caption's colour (default 000000)", ""},
         {"--bold", "", "bold caption", ""},
         {"--italic", "", "italic caption", ""},
         {"--underline", "", "underlined caption", ""},
         {"--strike-out", "", "struck-out caption", ""},
         {"--stub", "PATH", "the player to put in front (a stub of either platform)", ""},
         {"--for", "windows|linux",
          "the player built beside this tool (default: Windows when built, else Linux)", ""},
         kOutput},
        0, 0},
       RunPack},
      {{"export", "FILE|FOLDER...", "write what the player shows as pictures or video",
        "Plays each recording on the headless back end, so that every picture is the\n"
        "player's own. --frames writes frame_00000.png ... (frame 0 included) as each\n"
        "frame step leaves the picture; --video, --webm and --gif pipe every tick's\n"
        "picture to ffmpeg at the tick rate, the videos with the sound track (padded with\n"
        "silence or cut to the picture's length) and with chapters where a frame changes\n"
        "most of the screen. --out-dir exports any number of files and folders (searched\n"
        "for recordings by content), each output named after its input. An existing\n"
        "output is never overwritten without --force. The exit status is 1 when any file\n"
        "failed; several files end with a line counting them.",
        {kOffsetOption,
         {"--frames", "DIR", "write one PNG per frame into DIR", ""},
         {"--video", "OUT.mp4", "write an H.264 video with sound (needs ffmpeg)", ""},
         {"--webm", "OUT.webm", "write a VP9 video with Opus sound (needs ffmpeg)", ""},
         {"--gif", "OUT.gif", "write an animated GIF (needs ffmpeg)", ""},
         {"--out-dir", "DIR", "write each input's output into DIR, named after the input", ""},
         {"--format", "mp4|webm|gif|png", "what --out-dir writes (default mp4; png: a folder of frames)", ""},
         {"--captions", "", "the caption as a subtitle track and a WebVTT file beside the video", ""},
         {"--force", "", "overwrite outputs that exist", ""},
         {"--salvage", "", "export a damaged recording up to its damage, skipping broken blocks", ""},
         kJobsOption,
         kProgressOption},
        1, kManyFiles},
       RunExport},
      {{"extract-sound", "FILE", "write the expanded sound track as a WAV file",
        "Expands the sound track of FILE as the player does and writes it to OUT.",
        {kOffsetOption, kOutput},
        1, 1},
       RunExtractSound},
      {{"repack", "IN", "put this player in front of a recording made for another stub",
        "Replaces the first N bytes of IN (its stub) by the player and rewrites the lead\n"
        "word for the new payload offset; the result is executable.",
        {kOffsetOption,
         {"--stub", "PATH",
          "the player to put in front (default: Windows when built beside this tool, else Linux)",
          ""},
         kOutput},
        1, 1},
       RunRepack},
      {{"thumbnail", "FILE OUT.png", "write a small picture of a recording for file managers",
        "Plays FILE on the headless back end and writes the picture it shows at frame 0,\n"
        "or at the given time, scaled down to fit SIZE x SIZE, as a PNG file. A file that\n"
        "is no recording fails at once and nothing is written.",
        {kOffsetOption,
         {"--size", "N", "the longer side of the picture at most (default 256)", "-s"},
         {"--time", "SECONDS", "the frame shown this long after the start (default: frame 0)", ""}},
        2, 2},
       RunThumbnail},
      {{"completion", "SHELL", "print the completion script for bash, zsh or fish",
        "Prints the completion script for SHELL (bash, zsh or fish), made from these\n"
        "command tables; the package installs them where each shell looks.",
        {},
        1, 1},
       RunCompletion},
  };
}

std::string OverallHelp(const std::vector<Command>& commands) {
  std::string text =
      "usage: selfplay-tool COMMAND [options] [arguments]\n\n"
      "Makes, checks and converts self-playing screen recordings.\n\ncommands:\n";
  for (const Command& command : commands) {
    std::string name = "  " + command.syntax.name;
    name.resize(18, ' ');
    text += name + command.syntax.summary + "\n";
  }
  text += "  help              show this, or `help COMMAND` for one command\n\n"
          "Run `selfplay-tool COMMAND --help` for a command's options.\n";
  return text;
}

}  // namespace

int RunTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const std::vector<Command> commands = Commands();
  if (args.empty()) {
    err << OverallHelp(commands);
    return 2;
  }
  auto find = [&](const std::string& name) -> const Command* {
    for (const Command& command : commands) {
      if (command.syntax.name == name) return &command;
    }
    return nullptr;
  };
  const std::string& name = args[0];
  if (name == "help" || name == "--help" || name == "-h") {
    if (args.size() > 1) {
      if (const Command* command = find(args[1])) {
        out << CommandHelp(command->syntax);
        return 0;
      }
      err << "selfplay-tool: no command \"" << args[1] << "\"\n";
      return 2;
    }
    out << OverallHelp(commands);
    return 0;
  }
  const Command* command = find(name);
  if (!command) {
    err << "selfplay-tool: no command \"" << name << "\"; run `selfplay-tool help`\n";
    return 2;
  }
  try {
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    const ParsedArgs parsed = ParseArgs(command->syntax, rest);
    if (parsed.Has("--help")) {
      out << CommandHelp(command->syntax);
      return 0;
    }
    return command->run(parsed, out, err);
  } catch (const UsageError& e) {
    err << "selfplay-tool " << name << ": " << e.what() << "\nRun `selfplay-tool " << name
        << " --help` for its options.\n";
    return 2;
  } catch (const std::exception& e) {
    err << "selfplay-tool " << name << ": " << e.what() << "\n";
    return 1;
  }
}

int ToolMain(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return RunTool(args, std::cout, std::cerr);
}

}  // namespace sp::tool
