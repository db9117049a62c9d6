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
#include "playback/frame_clock.h"
#include "tools/batch.h"
#include "tools/command_line.h"
#include "tools/command_args.h"
#include "tools/completions.h"
#include "tools/export_command.h"
#include "tools/extract_sound.h"
#include "tools/file_util.h"
#include "tools/info_report.h"
#include "tools/inspect.h"
#include "tools/interrupt.h"
#include "tools/pack.h"
#include "tools/pack_video.h"
#include "tools/recording_errors.h"
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
      CheckReadableFile(path);
      FileStream file(path);
      info = InspectRecording(file, options);
      if (info.damage) {
        failure = info.header ? path + ": " + info.damage->message
                                  : HeadFaultMessage(path, options.payloadOffset, info.damage->message);
      }
    } catch (const ToolError& e) {
      failure = e.what();
    } catch (const Error& e) {
      failure = path + ": " + e.what();
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
  return ReportBatchEnd("info", batch, RunFiles(batch.files, Jobs(args), work, out, err), err);
}

// The caption options; none of its style goes without --caption.
recorder::CaptionStyle CaptionOf(const ParsedArgs& args) {
  recorder::CaptionStyle caption;
  caption.text = args.Get("--caption").value_or("");
  if (caption.text.empty()) {
    for (const char* option : {"--caption-pos", "--font", "--font-size", "--font-color", "--bold",
                               "--italic", "--underline", "--strike-out"}) {
      if (args.Has(option)) throw UsageError(std::string(option) + " needs --caption");
    }
    return caption;
  }
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
  return caption;
}

PackOptions PackOptionsOf(const ParsedArgs& args) {
  if (args.Has("--frames") == args.Has("--video")) {
    throw UsageError("say what to pack: --frames DIR or --video IN.mp4");
  }
  if (args.Has("--keep-sound-format") && (!args.Has("--video") || args.Has("--sound"))) {
    throw UsageError("--keep-sound-format keeps the sound of --video; it goes without --sound");
  }
  PackOptions options;
  options.framesFolder = args.Get("--frames").value_or("");
  options.interval = static_cast<int32_t>(
      ParseInteger(args.Require("--interval"), "--interval", kMinFrameInterval, INT32_MAX));
  options.output = args.Require("--output");
  options.overwrite = OverwriteOf(args);
  options.cursorTrack = args.Get("--cursor").value_or("");
  options.sound = args.Get("--sound").value_or("");
  options.stub = StubPath(args);
  options.caption = CaptionOf(args);
  return options;
}

// An interval that is no whole number of ticks plays shorter than it says.
void WarnOfUnevenInterval(int32_t interval, std::ostream& err) {
  const auto exact = ExactIntervalsNear(interval);
  if (!exact) return;
  const FrameClock clock(interval);
  err << "selfplay-tool pack: warning: " << interval << " ms plays as " << clock.TicksPerFrame()
      << " ticks of " << clock.TickMilliseconds() << " ms, " << clock.FrameMilliseconds()
      << " ms a frame, so the recording plays faster than the interval says (its pictures run ahead of "
      << "its sound); " << exact->below << " or " << exact->above
      << " ms play exactly as given\n";
}

int RunPack(const ParsedArgs& args, std::ostream&, std::ostream& err) {
  const PackOptions options = PackOptionsOf(args);
  CheckOutputFree(options.output, options.overwrite);
  WarnOfUnevenInterval(options.interval, err);
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
  // A Windows file fails on Linux with "Exec format error"; the user who
  // did not choose is told what was written.
  if (!args.Has("--stub") && !args.Has("--for")) {
    err << "selfplay-tool pack: " << DefaultStubNote(PlatformOfStub(options.stub), options.output) << "\n";
  }
  return 0;
}

int RunExtractSound(const ParsedArgs& args, std::ostream&, std::ostream&) {
  ExtractSound(args.Positional()[0], PayloadOffset(args), args.Require("--output"), OverwriteOf(args));
  return 0;
}

int RunRepack(const ParsedArgs& args, std::ostream&, std::ostream& err) {
  const std::string& path = args.Positional()[0];
  CheckOutputFree(args.Require("--output"), OverwriteOf(args));
  const std::vector<uint8_t> recording = ReadWholeFile(path);
  const std::vector<uint8_t> stub = ReadWholeFile(StubPath(args));
  const std::vector<uint8_t> file = ReplaceStub(recording, PayloadOffset(args), stub);
  WriteWholeFile(args.Require("--output"), file, FileMode::Executable);
  // The payload is copied as it is: a damaged one stays damaged.
  ByteViewStream copy(file);
  const RecordingInfo info = InspectRecording(copy, {.payloadOffset = static_cast<uint32_t>(stub.size())});
  if (info.damage) {
    err << "selfplay-tool repack: warning: " << args.Require("--output") << " plays " << info.PlayableFrames()
        << " of " << info.FrameCount() << " frames, as " << path << " does: " << info.damage->message << "\n";
  }
  return 0;
}

int RunThumbnail(const ParsedArgs& args, std::ostream&, std::ostream&) {
  ThumbnailOptions options;
  options.path = args.Positional()[0];
  options.output = args.Positional()[1];
  options.payloadOffset = PayloadOffset(args);
  options.overwrite = OverwriteOf(args);
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
  CommandSpec help{"help", "COMMAND", "show the commands, or one command's options", "", {}, 0, 1, {}};
  out << CompletionScript(shell, "selfplay-tool", syntaxes, {help});
  return 0;
}

CommandSpec InfoSpec() {
  return {"info", "FILE|FOLDER...", "show and check the layout of recordings",
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
    1, kManyFiles,
    {{"selfplay-tool info lesson.exe", "the layout of one recording, and any damage in it"},
     {"selfplay-tool info --json -j 4 recordings/", "every recording under a folder, a JSON line each"}}};
}

CommandSpec PackSpec() {
  return {"pack", "", "build a self-playing file from a folder of pictures or a video",
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
     kOutputOption,
     kForceOption},
    0, 0,
    {{"selfplay-tool pack --frames shots/ --interval 200 --sound voice.wav -o lesson.exe",
      "a recording for Windows from a folder of screenshots"},
     {"selfplay-tool pack --video capture.mp4 --interval 240 --for linux -o lesson",
      "a recording for Linux from a screen capture video"}}};
}

CommandSpec ExtractSoundSpec() {
  return {"extract-sound", "FILE", "write the expanded sound track as a WAV file",
    "Expands the sound track of FILE as the player does and writes it to OUT.",
    {kOffsetOption, kOutputOption, kForceOption},
    1, 1,
    {{"selfplay-tool extract-sound lesson.exe -o voice.wav", "the sound track as the player plays it"}}};
}

CommandSpec RepackSpec() {
  return {"repack", "IN", "put this player in front of a recording made for another stub",
    "Replaces the first N bytes of IN (its stub) by the player and rewrites the lead\n"
    "word for the new payload offset; the result is executable.",
    {kOffsetOption,
     {"--stub", "PATH",
      "the player to put in front (default: Windows when built beside this tool, else Linux)",
      ""},
     kOutputOption,
     kForceOption},
    1, 1,
    {{"selfplay-tool repack old.exe --for linux -o lesson", "the recording behind the Linux player"}}};
}

CommandSpec ThumbnailSpec() {
  return {"thumbnail", "FILE OUT.png", "write a small picture of a recording for file managers",
    "Plays FILE on the headless back end and writes the picture it shows at frame 0,\n"
    "or at the given time, scaled down to fit SIZE x SIZE, as a PNG file. A file that\n"
    "is not a recording fails at once and nothing is written.",
    {kOffsetOption,
     {"--size", "N", "the longer side of the picture at most (default 256)", "-s"},
     {"--time", "SECONDS", "the frame shown this long after the start (default: frame 0)", ""},
     kForceOption},
    2, 2,
    {{"selfplay-tool thumbnail lesson.exe lesson.png --size 128 --time 30",
      "the picture shown 30 seconds in, at most 128 pixels a side"}}};
}

CommandSpec CompletionSpec() {
  return {"completion", "bash|zsh|fish", "print the completion script for bash, zsh or fish",
    "Prints the completion script for the shell named (bash, zsh or fish), made from these\n"
    "command tables; the package installs them where each shell looks.",
    {},
    1, 1,
    {{"selfplay-tool completion bash > ~/.local/share/bash-completion/completions/selfplay-tool",
      "completion for bash, for this user"}}};
}

std::vector<Command> Commands() {
  return {
      {InfoSpec(), RunInfo},
      {PackSpec(), RunPack},
      {ExportCommandSpec(), RunExport},
      {ExtractSoundSpec(), RunExtractSound},
      {RepackSpec(), RunRepack},
      {ThumbnailSpec(), RunThumbnail},
      {CompletionSpec(), RunCompletion},
  };
}

std::string OverallHelp(const std::vector<Command>& commands) {
  std::string text =
      "usage: selfplay-tool COMMAND [options] [arguments]\n\n"
      "Makes, checks and converts self-playing screen recordings.\n\nCommands:\n";
  auto row = [&](const std::string& name, const std::string& summary) {
    std::string left = "  " + name;
    left.resize(std::max<size_t>(left.size() + 2, 18), ' ');
    text += left + summary + "\n";
  };
  for (const Command& command : commands) row(command.syntax.name, command.syntax.summary);
  row("help", "show this, or `help COMMAND` for one command");
  text += "\nRun `selfplay-tool COMMAND --help` for a command's options, `selfplay-tool --version`\n"
          "for the version. The exit status is 0 when the command did its work, 1 when it\n"
          "could not (a file that failed among them), and 2 for a wrong command line.\n";
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
  if (name == "--version" || name == "-V") {
    out << "selfplay-tool " << SELFPLAY_VERSION << "\n";
    return 0;
  }
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
