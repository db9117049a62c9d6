#include "tools/pack.h"

#include <limits>
#include <map>

#include "platform/bitmap.h"
#include "platform/errors.h"
#include "platform/icon.h"
#include "platform/stream.h"
#include "platform/text.h"
#include "playback/frame_clock.h"
#include "recorder/shown_screen.h"
#include "recorder/images.h"
#include "tools/command_line.h"
#include "tools/cursor_track.h"
#include "tools/file_util.h"
#include "tools/picture_folder.h"
#include "tools/sound_check.h"
#include "tools/text_format.h"

namespace sp::tool {
namespace {

// An icon file the player's icon reader accepts, else ToolError.
std::vector<uint8_t> LoadIconFile(const std::string& path) {
  std::vector<uint8_t> bytes = ReadWholeFile(path);
  MemoryStream stream;
  stream.Write(bytes.data(), bytes.size());
  stream.Seek(0, SeekOrigin::Begin);
  try {
    Icon icon;
    icon.LoadFromStream(stream);
  } catch (const Error&) {
    throw ToolError(path + ": not an icon file the player can show");
  }
  return bytes;
}

void CheckTextField(const std::string& utf8, size_t width, const std::string& what) {
  const std::string gbk = Utf8ToGbk(utf8);
  if (GbkToUtf8(gbk) != utf8) throw ToolError(what + " \"" + utf8 + "\" cannot be written in GBK");
  if (gbk.size() > width) {
    throw ToolError(what + " \"" + utf8 + "\" takes " + std::to_string(gbk.size()) +
                    " bytes in GBK; the field holds " + std::to_string(width));
  }
}

std::vector<uint8_t> LoadWav(const std::string& path) {
  std::vector<uint8_t> wav = ReadWholeFile(path);
  const WavFormat format = ParseWavHeader(wav);
  if (!format.problem.empty()) throw ToolError(path + ": the file " + format.problem);
  if (wav.size() > static_cast<size_t>(INT32_MAX)) throw ToolError(path + ": too large for a sound track");
  return wav;
}

// The first picture as the key frame, checked for size.
bool PlaysAsWritten(int64_t interval) {
  const FrameClock clock(static_cast<int32_t>(interval));
  return clock.Runs() && clock.FrameMilliseconds() == interval;
}

void TakeKeyFrame(const std::string& picture, Bitmap& bitmap, recorder::Recording& rec) {
  LoadPicture(picture, bitmap);
  rec.frameWidth = bitmap.Width();
  rec.frameHeight = bitmap.Height();
  if (rec.frameWidth > kMaxFrameSide || rec.frameHeight > kMaxFrameSide) {
    throw ToolError(picture + ": larger than " + std::to_string(kMaxFrameSide) + " pixels a side");
  }
  rec.keyFrame = recorder::EncodeJpeg(bitmap);
}

}  // namespace

recorder::Recording BuildRecording(const PackOptions& options, ProgressBar::Output progress) {
  if (options.interval < kMinFrameInterval) {
    throw ToolError("the frame interval must be at least " + std::to_string(kMinFrameInterval) + " ms");
  }
  CheckTextField(options.caption.text, kCaptionTextBytes, "the caption");
  CheckTextField(options.caption.fontName, kFontNameBytes, "the font name");

  const std::vector<std::string> pictures = ListPictures(options.framesFolder);
  if (pictures.size() > static_cast<size_t>(INT32_MAX)) throw ToolError("too many pictures");
  const auto frameCount = static_cast<int32_t>(pictures.size());

  recorder::Recording rec;
  rec.frameInterval = options.interval;
  rec.caption = options.caption;
  if (!options.sound.empty()) rec.wav = LoadWav(options.sound);

  CursorPath cursor;
  rec.hasCursor = options.cursorTrack.empty() ? 0 : 1;
  if (rec.hasCursor == 1) {
    cursor = ResolveCursorPath(ReadCursorTrack(options.cursorTrack), frameCount);
  }
  // Each icon file is read once, however often the track returns to it.
  std::map<std::string, std::vector<uint8_t>> icons;
  auto icon = [&](const std::string& path) -> const std::vector<uint8_t>& {
    auto it = icons.find(path);
    if (it == icons.end()) it = icons.emplace(path, LoadIconFile(path)).first;
    return it->second;
  };

  // Bitmaps do not move: the two take turns as the previous and the next picture.
  Bitmap bitmaps[2];
  Bitmap* previous = &bitmaps[0];
  Bitmap* next = &bitmaps[1];
  ProgressBar bar("pack", frameCount, progress);
  TakeKeyFrame(pictures[0], *previous, rec);
  recorder::ShownScreen screen(*previous, rec.keyFrame, options.changes);
  bar.Update(1);

  std::vector<uint8_t> currentIcon;
  if (rec.hasCursor == 1) {
    rec.cursorIcon = cursor.icon[0].empty() ? recorder::MakeIconFile(recorder::ArrowCursor())
                                            : icon(cursor.icon[0]);
    currentIcon = rec.cursorIcon;
    rec.cursorX = cursor.x[0];
    rec.cursorY = cursor.y[0];
    rec.nextCursorX = cursor.x[frameCount > 1 ? 1 : 0];
    rec.nextCursorY = cursor.y[frameCount > 1 ? 1 : 0];
  }

  for (int32_t k = 1; k < frameCount; ++k) {
    LoadPicture(pictures[k], *next);
    if (next->Width() != rec.frameWidth || next->Height() != rec.frameHeight) {
      throw ToolError(pictures[k] + ": " + std::to_string(next->Width()) + " x " +
                      std::to_string(next->Height()) + " pixels, but " + pictures[0] + " is " +
                      std::to_string(rec.frameWidth) + " x " + std::to_string(rec.frameHeight) +
                      "; every frame must be of one size");
    }
    recorder::Frame frame;
    frame.blocks = screen.EncodeNext(*next, 90);
    if (rec.hasCursor == 1) {
      // A shape change is written only when the shape really changes.
      if (!cursor.icon[k].empty() && icon(cursor.icon[k]) != currentIcon) {
        frame.cursorIcon = icon(cursor.icon[k]);
        currentIcon = frame.cursorIcon;
      }
      const int32_t after = k + 1 < frameCount ? k + 1 : k;
      frame.nextCursorX = cursor.x[after];
      frame.nextCursorY = cursor.y[after];
    }
    rec.frames.push_back(std::move(frame));
    std::swap(previous, next);
    bar.Update(k + 1);
  }
  return rec;
}

PackSummary Pack(const PackOptions& options, ProgressBar::Output progress) {
  CheckOutputFree(options.output, options.overwrite);
  const std::vector<uint8_t> stub = ReadWholeFile(options.stub);
  if (stub.size() > UINT32_MAX / 2) throw ToolError(options.stub + ": too large for a stub");
  const recorder::Recording rec = BuildRecording(options, progress);
  const std::vector<uint8_t> file = recorder::MakeSelfPlaying(stub, rec);
  if (file.size() > UINT32_MAX) {
    throw ToolError("the recording of " + Thousands(static_cast<int64_t>(file.size())) +
                    " bytes is too large: the lead word holds a 32-bit offset");
  }
  WriteWholeFile(options.output, file, FileMode::Executable);
  PackSummary summary;
  summary.frames = static_cast<int32_t>(1 + rec.frames.size());
  for (const recorder::Frame& frame : rec.frames) summary.blocks += static_cast<int64_t>(frame.blocks.size());
  summary.fileBytes = static_cast<int64_t>(file.size());
  summary.stubBytes = static_cast<int64_t>(stub.size());
  return summary;
}

std::optional<ExactIntervals> ExactIntervalsNear(int32_t frameInterval) {
  if (frameInterval < kMinFrameInterval || PlaysAsWritten(frameInterval)) return std::nullopt;
  // Multiples of the tick count lie at most that many apart, so both
  // searches end soon.
  ExactIntervals near;
  int64_t below = frameInterval - 1;
  while (!PlaysAsWritten(below)) --below;
  int64_t above = int64_t(frameInterval) + 1;
  while (above <= std::numeric_limits<int32_t>::max() && !PlaysAsWritten(above)) ++above;
  near.below = static_cast<int32_t>(below);
  near.above = above <= std::numeric_limits<int32_t>::max() ? static_cast<int32_t>(above) : near.below;
  return near;
}

}  // namespace sp::tool
