#include "tools/export_outputs.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <string_view>

#include "platform/bitmap.h"
#include "tools/command_line.h"
#include "tools/export.h"
#include "tools/file_util.h"
#include "tools/mp4_tracks.h"
#include "tools/png_io.h"
#include "tools/yuv_frame.h"

namespace sp::tool {
namespace {

namespace fs = std::filesystem;

// "12.345": seconds as ffmpeg's filters take them.
std::string FilterSeconds(int64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%03d", static_cast<long long>(ms / 1000), static_cast<int>(ms % 1000));
  return text;
}

// frame_00000.png ... as each frame step leaves the picture; the folder
// holds this recording's pictures alone afterwards.
class FrameFolder : public ExportOutput {
 public:
  explicit FrameFolder(std::string folder) : folder_(std::move(folder)) {}
  std::vector<std::string> Files() const override { return {FramePath(folder_, 0)}; }
  // The pictures are named as they are written; Abandon removes them.
  std::vector<std::string> PartialFiles() const override { return {}; }

  void Start(const ExportMedia&) override {
    std::error_code error;
    madeFolder_ = fs::create_directories(folder_, error);
    if (!fs::is_directory(folder_)) throw ToolError(folder_ + ": cannot make the folder");
    // Forced: no pictures of an earlier, longer recording stay behind.
    for (const std::string& old : ExportedFramesIn(folder_)) {
      std::error_code failure;
      if (!fs::remove(old, failure) && failure) throw ToolError(old + ": cannot remove: " + failure.message());
    }
  }
  void Tick(const Bitmap&, const Rect&) override {}
  void FrameShown(int32_t frame, const Bitmap& picture) override {
    written_.push_back(FramePath(folder_, frame));
    WritePng(written_.back(), picture);
  }
  void Finish() override {}
  void Abandon() override {
    std::error_code error;
    for (const std::string& picture : written_) fs::remove(picture, error);
    written_.clear();
    // Only a folder this export made, and only when nothing else is in it.
    if (madeFolder_) fs::remove(folder_, error);
  }

 private:
  std::string folder_;
  bool madeFolder_ = false;
  std::vector<std::string> written_;
};

// A video or GIF that ffmpeg encodes from the tick pictures.
class FfmpegOutput : public ExportOutput {
 public:
  FfmpegOutput(const FfmpegFormat& format, std::string path, Captions captions)
      : format_(format), path_(std::move(path)), captions_(captions) {}

  // Before Start, what may be written; after it, what is.
  std::vector<std::string> Files() const override {
    if (captions_ == Captions::kNone || (pipe_ && !captioned_)) return {path_};
    return {path_, CaptionsPath(path_)};
  }

  void Start(const ExportMedia& media) override {
    const bool captioned = captions_ == Captions::kTrackAndFile && !media.captionText.empty();
    captioned_ = captioned;
    if (captioned) {
      const std::string vtt = WebVttCaption(media.captionText, media.soundMs);
      WriteWholeFile(CaptionsPath(path_), std::vector<uint8_t>(vtt.begin(), vtt.end()), FileMode::Plain);
    }
    pipe_ = std::make_unique<FfmpegPipe>(media.ffmpeg, media.width, media.height, media.tickPeriod,
                                         Arguments(media, captioned),
                                         media.scratchFolder + format_.name + ".log", format_.pixels);
    if (format_.pixels == PipePixels::kYuv420p) yuv_ = std::make_unique<Yuv420Frame>(media.width, media.height);
  }

  void Tick(const Bitmap& picture, const Rect& changed) override {
    if (!yuv_) {
      pipe_->Write(picture);
      return;
    }
    // Only what the tick changed is converted.
    yuv_->Convert(picture, changed);
    pipe_->Write(*yuv_);
  }

  void Finish() override {
    pipe_->Finish();
    // ffmpeg's MP4 muxer enables the first track of every kind, whatever
    // its disposition; the caption is in the picture already.
    if (format_.name == "mp4" && captioned_) DisableSubtitle();
  }

 private:
  std::vector<std::string> Arguments(const ExportMedia& media, bool captioned) const;
  void DisableSubtitle() const;

  const FfmpegFormat& format_;
  std::string path_;
  Captions captions_;
  bool captioned_ = false;  // a caption to carry, known at Start
  std::unique_ptr<FfmpegPipe> pipe_;
  std::unique_ptr<Yuv420Frame> yuv_;
};

std::vector<std::string> FfmpegOutput::Arguments(const ExportMedia& media, bool captioned) const {
  std::vector<std::string> inputs;
  std::vector<std::string> maps{"-map", "0:v"};
  int input = 1;  // 0 is the pictures
  const bool sound = format_.sound == FfmpegFormat::Sound::kTrack && !media.sound.empty();
  if (sound) {
    inputs.insert(inputs.end(), {"-i", media.sound});
    maps.insert(maps.end(), {"-map", std::to_string(input++) + ":a"});
  }
  if (format_.sound == FfmpegFormat::Sound::kTrack && !media.chapterFile.empty()) {
    inputs.insert(inputs.end(), {"-f", "ffmetadata", "-i", media.chapterFile});
    maps.insert(maps.end(), {"-map_chapters", std::to_string(input++)});
  }
  if (captioned) {
    inputs.insert(inputs.end(), {"-i", CaptionsPath(path_)});
    maps.insert(maps.end(), {"-map", std::to_string(input++) + ":s"});
  }
  std::vector<std::string> args = inputs;
  if (format_.sound == FfmpegFormat::Sound::kTrack) args.insert(args.end(), maps.begin(), maps.end());
  // A shorter sound track is padded with silence and a longer one cut, so
  // that the sound lasts exactly as long as the picture. (-shortest ends
  // padded sound early, while the encoders still buffer.)
  if (sound) {
    const std::string seconds = FilterSeconds(media.soundMs);
    args.insert(args.end(), {"-af", "apad=whole_dur=" + seconds + ",atrim=end=" + seconds});
  }
  args.insert(args.end(), format_.codecArguments.begin(), format_.codecArguments.end());
  // The caption is drawn into the picture already: a player that showed the
  // track by default would show it twice.
  if (captioned) args.insert(args.end(), {"-c:s", format_.subtitleCodec, "-disposition:s:0", "0"});
  args.push_back(path_);
  return args;
}

void FfmpegOutput::DisableSubtitle() const { DisableSubtitleTracks(path_); }

}  // namespace

const std::vector<FfmpegFormat>& FfmpegFormats() {
  using Sound = FfmpegFormat::Sound;
  static const std::vector<FfmpegFormat> formats = {
      // The pictures arrive in the encoder's own format, even-sided.
      {"mp4", ".mp4", {"-pix_fmt", "yuv420p"}, PipePixels::kYuv420p, Sound::kTrack, "mov_text"},
      {"webm",
       ".webm",
       {"-c:v", "libvpx-vp9", "-b:v", "0", "-crf", "32", "-row-mt", "1", "-deadline", "good", "-cpu-used", "4",
        "-c:a", "libopus", "-pix_fmt", "yuv420p"},
       PipePixels::kYuv420p,
       Sound::kTrack,
       "webvtt"},
      {"gif", ".gif", {"-vf", "split[a][b];[a]palettegen[p];[b][p]paletteuse"}, PipePixels::kBgr0, Sound::kNone, ""},
  };
  return formats;
}

const FfmpegFormat* FindFfmpegFormat(const std::string& name) {
  for (const FfmpegFormat& format : FfmpegFormats()) {
    if (format.name == name) return &format;
  }
  return nullptr;
}

std::string FramePath(const std::string& folder, int32_t index) {
  char name[32];
  std::snprintf(name, sizeof name, "frame_%05d.png", static_cast<int>(index));
  return (fs::path(folder) / name).string();
}

// frame_NNNNN.png (five digits or more) and nothing else.
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

std::unique_ptr<ExportOutput> MakeFrameFolder(const std::string& folder) {
  return std::make_unique<FrameFolder>(folder);
}

std::unique_ptr<ExportOutput> MakeFfmpegOutput(const FfmpegFormat& format, const std::string& path,
                                               Captions captions) {
  return std::make_unique<FfmpegOutput>(format, path, captions);
}

}  // namespace sp::tool
