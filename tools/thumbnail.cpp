#include "tools/thumbnail.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "app/play_form.h"
#include "platform/bitmap.h"
#include "platform/errors.h"
#include "app/headless/headless_run.h"
#include "platform/stream.h"
#include "tools/command_line.h"
#include "tools/file_util.h"
#include "tools/inspect.h"
#include "tools/png_io.h"
#include "tools/recording_errors.h"
#include "tools/scratch_folder.h"

namespace sp::tool {
namespace {

namespace fs = std::filesystem;

// The layout up to the key frame must be whole; damage later only limits
// how far the player gets.
RecordingInfo CheckRecording(const ThumbnailOptions& options) {
  CheckReadableFile(options.path);
  RecordingInfo info;
  try {
    FileStream file(options.path);
    InspectOptions inspect;
    inspect.payloadOffset = options.payloadOffset;
    info = InspectRecording(file, inspect);
  } catch (const Error& e) {
    throw ToolError(e.what());
  }
  const bool keyFrameWhole =
      info.header && info.keyFrameSize > 0 && info.TicksPerFrame() > 0 &&
      (!info.damage || info.damage->offset >= info.keyFrameOffset + info.keyFrameSize);
  if (!keyFrameWhole) {
    const std::string detail = info.damage ? info.damage->message : "no key frame";
    throw ToolError(info.header ? options.path + ": " + detail
                                    : HeadFaultMessage(options.path, options.payloadOffset, detail));
  }
  return info;
}

}  // namespace

void ScaleDown(const Bitmap& source, int size, Bitmap& target) {
  const int w = source.Width();
  const int h = source.Height();
  const double scale = std::min(1.0, static_cast<double>(size) / std::max(w, h));
  const int tw = std::max(1, static_cast<int>(std::lround(w * scale)));
  const int th = std::max(1, static_cast<int>(std::lround(h * scale)));
  target.SetSize(tw, th);
  for (int ty = 0; ty < th; ++ty) {
    const int y0 = static_cast<int>(int64_t(ty) * h / th);
    const int y1 = std::max(y0 + 1, static_cast<int>(int64_t(ty + 1) * h / th));
    for (int tx = 0; tx < tw; ++tx) {
      const int x0 = static_cast<int>(int64_t(tx) * w / tw);
      const int x1 = std::max(x0 + 1, static_cast<int>(int64_t(tx + 1) * w / tw));
      uint64_t sum[3] = {0, 0, 0};
      for (int y = y0; y < y1; ++y) {
        const Pixel* row = source.Row(y);
        for (int x = x0; x < x1; ++x) {
          sum[0] += row[x] >> 16 & 0xFF;
          sum[1] += row[x] >> 8 & 0xFF;
          sum[2] += row[x] & 0xFF;
        }
      }
      const uint64_t n = uint64_t(y1 - y0) * (x1 - x0);
      auto mean = [&](uint64_t s) { return static_cast<Pixel>((s + n / 2) / n); };
      target.Set(tx, ty, mean(sum[0]) << 16 | mean(sum[1]) << 8 | mean(sum[2]));
    }
  }
}

int32_t WriteThumbnail(const ThumbnailOptions& options) {
  if (options.size < 1) throw ToolError("the thumbnail size must be at least 1 pixel");
  CheckOutputFree(options.output, options.overwrite);
  const RecordingInfo info = CheckRecording(options);

  int32_t frame = 0;
  if (options.seconds) {
    if (!(*options.seconds >= 0) || !std::isfinite(*options.seconds)) {
      throw ToolError("the time must be 0 seconds or later");
    }
    // On the played clock, whose frames may be shorter than the interval.
    const FrameClock clock = info.Clock();
    const auto milliseconds = static_cast<int64_t>(std::min(*options.seconds * 1000.0, 1e15));
    frame = static_cast<int32_t>(std::min<int64_t>(clock.FrameAtTick(clock.TickAt(milliseconds)), info.FrameCount() - 1));
  }

  // The player's sound file and, for another stub size, a re-stubbed copy.
  ScratchFolder scratch("selfplay-thumbnail");
  HeadlessRun run({options.path, options.payloadOffset, std::nullopt, scratch.Path(), info.header->FrameWidth,
                   info.header->FrameHeight});
  if (run.StartFailure()) throw ToolError(options.path + ": " + *run.StartFailure());
  HeadlessPlayer& player = run.Player();
  auto error = [&] { return player.StopReason(); };
  const TPlayForm& form = player.GetForm();
  while (form.CurrentFrame <= frame && !player.Closed()) {
    const int32_t before = form.CurrentFrame;
    for (int t = 0; t < info.TicksPerFrame() && form.CurrentFrame == before && !player.Closed(); ++t) {
      if (!player.Tick()) break;
    }
    if (auto failure = error()) {
      throw ToolError(options.path + ": the player stopped at frame " + std::to_string(before) + ": " +
                      *failure);
    }
    if (form.CurrentFrame == before) break;  // no clock
  }
  if (form.CurrentFrame <= frame) {
    throw ToolError(options.path + ": the player did not reach frame " + std::to_string(frame));
  }

  Bitmap small;
  ScaleDown(player.Picture(), options.size, small);
  // Whole or not at all: a file manager may look at the output at any time.
  const fs::path output(options.output);
  const std::string partial =
      (output.parent_path() / ("." + output.filename().string() + ".partial")).string();
  try {
    WritePng(partial, small);
    fs::rename(partial, output);
  } catch (const std::exception& e) {
    std::error_code ignored;
    fs::remove(partial, ignored);
    // Named as the user named it, not by the name it was written under.
    std::string why = e.what();
    if (why.rfind(partial, 0) == 0) why = options.output + why.substr(partial.size());
    throw ToolError(why);
  }
  return frame;
}

}  // namespace sp::tool
