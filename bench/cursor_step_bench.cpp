// A tick that only moves the cursor: its cost, and the pixels of Image1 it
// touched, beside presenting a whole frame (what a tick must never cost).
#include <benchmark/benchmark.h>

#include <algorithm>

#include "app/play_form.h"
#include "bench/anchored.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "app/headless/headless_player.h"
#include "recorder/payload_writer.h"
#include "recorder/recording_builder.h"
#include "recorder/test_media.h"
#include "tests/hardening/headless_run.h"

namespace sp::bench {
namespace {

void BM_CursorStep(benchmark::State& state) {
  constexpr int kWidth = 800;
  constexpr int kHeight = 600;
  Bitmap screen(kWidth, kHeight);
  recorder::FillTestPattern(screen, 5);
  // FrameInterval 1000: 24 cursor steps between frame steps; frames without
  // blocks, the cursor crossing the screen from frame to frame.
  constexpr int kFrames = 200;
  recorder::RecordingBuilder builder(screen);
  builder.Interval(1000).FirstCursor(10, 10);
  for (int k = 1; k < kFrames; ++k) {
    builder.AddFrameBlocks({}, recorder::CursorPosition{k % 2 ? 700 : 20, k % 3 ? 500 : 30});
  }
  hardening::ScratchDir dir("cursor-step-bench");
  const std::string exe = dir.File("BENCH.EXE");
  recorder::WriteFile(exe, recorder::MakeSelfPlaying(recorder::ZeroStub(), builder.Build()));

  HeadlessSystem system;
  system.SetScreenSize(kWidth, kHeight);
  system.SetExecutablePath(exe);
  system.SetTempPath(dir.Path());
  HeadlessPlayer player(system);
  TPlayForm& form = player.GetForm();

  Bitmap copy(kWidth, kHeight);
  double touched = 0;
  RunAnchored(
      state,
      [&] {
        // Frame steps are passed over outside the timing.
        while (form.TickCount + 1 >= form.TicksPerFrame) player.Tick();
      },
      [&] {
        player.Tick();
        const Rect r = system.LastPresented();
        touched = std::max(touched, static_cast<double>(r.Width()) * r.Height());
      },
      [&] { copy.GetCanvas().Draw(0, 0, *form.FrameBitmap); },
      Ratio::kAnchorOverFigure, "cursor tick vs presenting a whole 800x600 frame: x = frame/tick");
  state.counters["tick_us"] = state.counters["figure_ms"] * 1e3;
  // The largest rectangle of Image1 that one cursor tick changed.
  state.counters["pixels_touched"] = touched;
  state.counters["frame_pixels"] = static_cast<double>(kWidth) * kHeight;
}

BENCHMARK(BM_CursorStep)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);

}  // namespace
}  // namespace sp::bench

BENCHMARK_MAIN();
