// Decoding and pasting one frame's blocks, and the key frame, as the player
// does it (one JpegImage reused, a memory buffer, a block bitmap per block,
// pasted onto FrameBitmap), against libjpeg alone decoding the same JPEGs.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "app/play_form.h"
#include "bench/anchored.h"
#include "bench/libjpeg_anchor.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "app/headless/headless_player.h"
#include "platform/jpeg_image.h"
#include "platform/stream.h"
#include "recorder/change_detection.h"
#include "recorder/images.h"
#include "recorder/payload_writer.h"
#include "recorder/recording_builder.h"
#include "recorder/test_media.h"
#include "tests/hardening/headless_run.h"

namespace sp::bench {
namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

struct FrameFixture {
  FrameFixture() : screen(kWidth, kHeight), frame(kWidth, kHeight) {
    recorder::FillTestPattern(screen, 3);
    keyFrame = recorder::EncodeJpeg(screen);
    // A typical frame: a few changed rectangles from a few pixels to a few
    // hundred pixels on a side, in separate bands, with new content.
    Bitmap next(kWidth, kHeight);
    recorder::FillTestPattern(next, 99);
    Bitmap changed(kWidth, kHeight);
    recorder::CopyPixels(screen, changed);
    const Rect changes[] = {{40, 20, 300, 60},   {364, 100, 554, 211}, {10, 250, 30, 262},
                            {500, 300, 790, 420}, {120, 450, 180, 470}, {200, 520, 620, 590}};
    for (const Rect& r : changes) {
      for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) changed.Set(x, y, next.At(x, y));
      }
    }
    blocks = recorder::EncodeChangedBlocks(screen, changed);
    for (const recorder::Block& b : blocks) blockPixels += static_cast<double>(b.rect.Width()) * b.rect.Height();
  }

  Bitmap screen;
  Bitmap frame;
  std::vector<uint8_t> keyFrame;
  std::vector<recorder::Block> blocks;
  double blockPixels = 0;
};

FrameFixture& Fixture() {
  static FrameFixture fixture;
  return fixture;
}

// ApplyBlocks' calls for one block: copy into the buffer, load, empty the
// buffer, decode into a fresh block bitmap, paste it by its left and top.
void PasteBlock(JpegImage& jpeg, MemoryStream& buffer, Bitmap& frame, const std::vector<uint8_t>& bytes,
                int left, int top) {
  buffer.Write(bytes.data(), bytes.size());
  buffer.Seek(0, SeekOrigin::Begin);
  jpeg.LoadFromStream(buffer);
  buffer.Clear();
  Bitmap block;
  jpeg.AssignTo(block);
  frame.GetCanvas().Draw(left, top, block);
}

void BM_FrameStepBlocks(benchmark::State& state) {
  FrameFixture& f = Fixture();
  JpegImage jpeg;
  MemoryStream buffer;
  LibjpegAnchor anchor;
  RunAnchored(
      state,
      [&] {
        for (const recorder::Block& b : f.blocks) PasteBlock(jpeg, buffer, f.frame, b.jpeg, b.rect.left, b.rect.top);
      },
      [&] {
        for (const recorder::Block& b : f.blocks) anchor.Decode(b.jpeg);
      },
      Ratio::kFigureOverAnchor, "one frame's blocks decoded and pasted vs libjpeg alone: x = ours/libjpeg, goal <= 1.10");
  state.counters["blocks"] = static_cast<double>(f.blocks.size());
  state.counters["block_pixels"] = f.blockPixels;
}

// StartPlayback's key frame: copied into the buffer, loaded, and decoded
// into a FrameBitmap that the playback has just created empty.
void BM_FrameStepKeyFrame(benchmark::State& state) {
  FrameFixture& f = Fixture();
  JpegImage jpeg;
  MemoryStream buffer;
  std::unique_ptr<Bitmap> frame;
  LibjpegAnchor anchor;
  RunAnchored(
      state, [&] { frame = std::make_unique<Bitmap>(); },
      [&] {
        buffer.Write(f.keyFrame.data(), f.keyFrame.size());
        buffer.Seek(0, SeekOrigin::Begin);
        jpeg.LoadFromStream(buffer);
        buffer.Clear();
        jpeg.AssignTo(*frame);
      },
      [&] { anchor.Decode(f.keyFrame); }, Ratio::kFigureOverAnchor,
      "800x600 key frame decoded into a new FrameBitmap vs libjpeg alone: x = ours/libjpeg, goal <= 1.05");
}

// The whole frame step through the player: reading the frame record from the
// file, the blocks, the caption, presenting the frame on Image1 with the
// cursor. Every tick is a frame step (FrameInterval 40); every frame holds
// the same blocks.
void BM_FrameStepTick(benchmark::State& state) {
  FrameFixture& f = Fixture();
  constexpr int kFrames = 400;
  recorder::RecordingBuilder builder(f.screen);
  builder.Interval(40).FirstCursor(100, 100);
  for (int k = 1; k < kFrames; ++k) builder.AddFrameBlocks(f.blocks, recorder::CursorPosition{100 + k, 100});
  hardening::ScratchDir dir("frame-step-bench");
  const std::string exe = dir.File("BENCH.EXE");
  recorder::WriteFile(exe, recorder::MakeSelfPlaying(recorder::ZeroStub(), builder.Build()));

  HeadlessSystem system;
  system.SetScreenSize(kWidth, kHeight);
  system.SetExecutablePath(exe);
  system.SetTempPath(dir.Path());
  HeadlessPlayer player(system);
  LibjpegAnchor anchor;
  int ticks = 0;
  RunAnchored(
      state,
      [&] {
        if (++ticks < kFrames - 1) player.Tick();
      },
      [&] {
        for (const recorder::Block& b : f.blocks) anchor.Decode(b.jpeg);
      },
      Ratio::kFigureOverAnchor, "a whole frame-step tick (read, blocks, caption, present) vs libjpeg alone: x = tick/libjpeg");
  if (ticks >= kFrames - 1) state.SkipWithError("the recording ran out of frames");
}

BENCHMARK(BM_FrameStepBlocks)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(BM_FrameStepKeyFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(60);
BENCHMARK(BM_FrameStepTick)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(300);

}  // namespace
}  // namespace sp::bench

BENCHMARK_MAIN();
