#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/geometry.h"
#include "tools/ffmpeg_pipe.h"
#include "tools/video_marks.h"

namespace sp {
class Bitmap;
}

namespace sp::tool {

// What every output of one export is given: the recording's picture size and
// clock, its sound, chapters and caption.
struct ExportMedia {
  int width = 0;
  int height = 0;
  int tickPeriod = 0;          // ms from one picture to the next
  std::string sound;           // the player's WAV file; empty: none
  int64_t soundMs = 0;         // the sound is padded or cut to this
  std::string chapterFile;     // ffmetadata; empty: no chapters
  int chapters = 0;
  std::string captionText;     // empty: no subtitle track
  std::string ffmpeg;          // the program
  std::string scratchFolder;   // for logs, with the separator at the end
};

// One output of export, the way dav1d's muxers are: started once, given the
// picture after frame 0 and after every tick, and finished. Rows of the
// table below make them.
class ExportOutput {
 public:
  virtual ~ExportOutput() = default;
  // The files written, in order; the first stands for the output.
  virtual std::vector<std::string> Files() const = 0;
  // What is removed when the export fails.
  virtual std::vector<std::string> PartialFiles() const { return Files(); }
  virtual void Start(const ExportMedia& media) = 0;
  // `changed` is what changed since the last picture.
  virtual void Tick(const Bitmap& picture, const Rect& changed) = 0;
  // Frame `frame` has just been stepped to (frame 0 at the start).
  virtual void FrameShown(int32_t /*frame*/, const Bitmap& /*picture*/) {}
  virtual void Finish() = 0;
  // The export failed or was stopped: what this output wrote that
  // PartialFiles() did not name goes.
  virtual void Abandon() {}
};

// A format that ffmpeg writes from the tick pictures.
struct FfmpegFormat {
  std::string name;       // as --format names it: "mp4"
  std::string extension;  // ".mp4"
  std::vector<std::string> codecArguments;
  PipePixels pixels = PipePixels::kBgr0;
  enum class Sound { kNone, kTrack } sound = Sound::kNone;
  std::string subtitleCodec;  // empty: the format carries no captions
};

// mp4, webm, gif; an output for a new format is a row here (or, for one
// that ffmpeg does not write, a class of its own beside FrameFolder).
const std::vector<FfmpegFormat>& FfmpegFormats();
const FfmpegFormat* FindFfmpegFormat(const std::string& name);

// The name of the frames folder's pictures: frame_00000.png ...
std::string FramePath(const std::string& folder, int32_t index);

// The pictures an earlier export left in folder, lowest number first.
std::vector<std::string> ExportedFramesIn(const std::string& folder);

std::unique_ptr<ExportOutput> MakeFrameFolder(const std::string& folder);
// `captions`: a subtitle track and a WebVTT file beside the video.
enum class Captions { kNone, kTrackAndFile };
std::unique_ptr<ExportOutput> MakeFfmpegOutput(const FfmpegFormat& format, const std::string& path,
                                               Captions captions);

}  // namespace sp::tool
