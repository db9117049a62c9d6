// The engine's JPEG work in WebAssembly, each figure beside libjpeg-turbo
// alone compiled the same way (Emscripten, no SIMD) on the same JPEGs, run
// alternately in one process so that both see the same machine; the best
// run of each is kept. Run under node; prints one JSON object per figure.
//   frame_step_blocks  one frame's blocks decoded straight onto the frame, as
//                      the seekable playback applies a frame, vs libjpeg
//                      decoding them
//   frame_step_paste   the same through a block bitmap pasted onto the
//                      frame (the stub's ApplyBlocks calls), for reference
//   frame_step_key     an 800 x 600 key frame into a new bitmap vs libjpeg
//   seek_1080p         the seekable playback's picture at a random tick of a
//                      10-minute 1920 x 1080 recording (node: memory file)
#include <chrono>
#include <cstdio>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/libjpeg_anchor.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/jpeg_image.h"
#include "platform/stream.h"
#include "playback/seekable_playback.h"
#include "recorder/long_recording.h"
#include "recorder/change_detection.h"
#include "recorder/images.h"
#include "recorder/payload_writer.h"
#include "recorder/recording_builder.h"
#include "recorder/test_media.h"

namespace {

using namespace sp;
using Clock = std::chrono::steady_clock;

template <typename Fn>
double Seconds(Fn&& fn) {
  const auto start = Clock::now();
  fn();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

template <typename Figure, typename Anchor>
void Anchored(const char* name, int runs, Figure&& figure, Anchor&& anchor, const char* goal) {
  double bestFigure = std::numeric_limits<double>::infinity();
  double bestAnchor = std::numeric_limits<double>::infinity();
  for (int i = 0; i < runs; ++i) {
    bestFigure = std::min(bestFigure, Seconds(figure));
    bestAnchor = std::min(bestAnchor, Seconds(anchor));
  }
  std::printf("{\"name\": \"%s\", \"figure_ms\": %.3f, \"anchor_ms\": %.3f, \"x\": %.3f, \"goal\": \"%s\"}\n", name,
              bestFigure * 1e3, bestAnchor * 1e3, bestFigure / bestAnchor, goal);
  std::fflush(stdout);
}

// The native frame step benchmark's frame: 800 x 600, six changed
// rectangles from a few pixels to a few hundred on a side.
struct FrameFixture {
  FrameFixture() : screen(800, 600), frame(800, 600) {
    recorder::FillTestPattern(screen, 3);
    keyFrame = recorder::EncodeJpeg(screen);
    Bitmap next(800, 600);
    recorder::FillTestPattern(next, 99);
    Bitmap changed(800, 600);
    recorder::CopyPixels(screen, changed);
    const Rect changes[] = {{40, 20, 300, 60},   {364, 100, 554, 211}, {10, 250, 30, 262},
                            {500, 300, 790, 420}, {120, 450, 180, 470}, {200, 520, 620, 590}};
    for (const Rect& r : changes) {
      for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) changed.Set(x, y, next.At(x, y));
      }
    }
    blocks = recorder::EncodeChangedBlocks(screen, changed);
  }
  Bitmap screen;
  Bitmap frame;
  std::vector<uint8_t> keyFrame;
  std::vector<recorder::Block> blocks;
};

void LoadJpeg(JpegImage& jpeg, MemoryStream& buffer, const std::vector<uint8_t>& bytes) {
  buffer.Write(bytes.data(), bytes.size());
  buffer.Seek(0, SeekOrigin::Begin);
  jpeg.LoadFromStream(buffer);
  buffer.Clear();
}

void FrameStep() {
  FrameFixture f;
  JpegImage jpeg;
  MemoryStream buffer;
  bench::LibjpegAnchor anchor;
  Anchored(
      "frame_step_blocks", 200,
      [&] {
        for (const recorder::Block& b : f.blocks) {
          LoadJpeg(jpeg, buffer, b.jpeg);
          jpeg.DrawPart(f.frame, b.rect.left, b.rect.top, {0, 0, jpeg.Width(), jpeg.Height()});
        }
      },
      [&] {
        for (const recorder::Block& b : f.blocks) anchor.Decode(b.jpeg);
      },
      "x = ours/libjpeg, goal <= 1.10");
  Anchored(
      "frame_step_paste", 200,
      [&] {
        for (const recorder::Block& b : f.blocks) {
          LoadJpeg(jpeg, buffer, b.jpeg);
          Bitmap block;
          jpeg.AssignTo(block);
          f.frame.GetCanvas().Draw(b.rect.left, b.rect.top, block);
        }
      },
      [&] {
        for (const recorder::Block& b : f.blocks) anchor.Decode(b.jpeg);
      },
      "x = ours/libjpeg (report)");
  Anchored(
      "frame_step_key", 60,
      [&] {
        auto frame = std::make_unique<Bitmap>();
        LoadJpeg(jpeg, buffer, f.keyFrame);
        jpeg.AssignTo(*frame);
      },
      [&] { anchor.Decode(f.keyFrame); }, "x = ours/libjpeg, goal <= 1.10");
}

// A 1920 x 1080 recording of `seconds`, a frame a second, windows of a few
// hundred pixels changing and a whole-screen change every 5 minutes.
std::vector<uint8_t> LongRecording(int seconds, std::vector<uint8_t>* fullJpeg) {
  return recorder::MakeSelfPlaying(recorder::ZeroStub(),
                                   recorder::LongScreenRecording(seconds, recorder::LongSound::kNone, fullJpeg));
}

void Seek() {
  std::vector<uint8_t> fullJpeg;
  const std::vector<uint8_t> bytes = LongRecording(600, &fullJpeg);
  auto file = std::make_unique<MemoryStream>();
  file->Write(bytes.data(), bytes.size());
  SeekablePlayback playback(std::move(file), SeekablePlayback::Options{});
  while (playback.PrepareNextSnapshot()) {
  }
  std::mt19937 random(3);
  bench::LibjpegAnchor anchor;
  std::vector<double> times;
  Anchored(
      "seek_1080p", 40,
      [&] {
        const int64_t tick = static_cast<int64_t>(random() % (playback.LastTick() + 1));
        times.push_back(Seconds([&] { playback.PictureAt(tick); }));
      },
      [&] { anchor.Decode(fullJpeg); }, "x = seek/one 1080p key frame by libjpeg (report)");
  std::sort(times.begin(), times.end());
  std::printf("{\"name\": \"seek_1080p_p95\", \"figure_ms\": %.3f, \"goal\": \"<= 150 ms in the browser\"}\n",
              times[times.size() * 95 / 100] * 1e3);
}

}  // namespace

int main() {
  FrameStep();
  Seek();
  return 0;
}
