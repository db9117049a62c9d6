// export --video of a 2-minute 1920 x 1080 recording beside ffmpeg alone
// encoding the same pictures (from memory, already 4:2:0) with the same
// settings and the same sound. Wall time: the encoder is another process.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/headless/headless_player.h"
#include "payload/sound_track.h"
#include "platform/bitmap.h"
#include "platform/headless/headless_system.h"
#include "recorder/payload_writer.h"
#include "recorder/recording_builder.h"
#include "recorder/test_media.h"
#include "tests/hardening/headless_run.h"
#include "tools/export.h"
#include "tools/ffmpeg_pipe.h"
#include "tools/yuv_frame.h"

namespace sp::bench {
namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFrames = 121;       // one a second: 2 minutes after frame 0
constexpr int kTicksPerFrame = 25;  // of 40 ms

template <typename Fn>
double WallSeconds(Fn&& fn) {
  const auto start = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct ExportFixture {
  ExportFixture() : dir("export-bench"), exe(dir.File("talk.exe")) {
    // A desktop with a window dragged across it and a panel redrawn now and
    // then: screen-recording content, no cursor (so that every picture
    // between two frame steps is the same and the anchor can hold them).
    Bitmap screen(kWidth, kHeight);
    recorder::FillTestPattern(screen, 21);
    recorder::RecordingBuilder builder(screen, 90);
    builder.Interval(1000).NoCursor().Sound(recorder::ToneWav(120.0, 5));
    for (int k = 1; k < kFrames; ++k) {
      const int x = 100 + 12 * k;
      const int y = 80 + 5 * k;
      recorder::FillRect(screen, {x, y, x + 640, y + 420}, 0x3050A0 + k);
      recorder::FillRect(screen, {x + 10, y + 30, x + 630, y + 410}, 0xF0F0F0);
      if (k % 10 == 0) recorder::FillRect(screen, {0, 1000, kWidth, kHeight}, 0x202020 * (k / 10 % 7));
      builder.AddFrame(screen);
    }
    recorder::WriteFile(exe, recorder::MakeSelfPlaying(recorder::ZeroStub(), builder.Build()));

    // The pictures the player shows at each frame step, as export sends them.
    HeadlessSystem system;
    system.SetExecutablePath(exe);
    system.SetTempPath(dir.Path() + "/");
    system.SetScreenSize(kWidth, kHeight);
    HeadlessPlayer player(system);
    tool::Yuv420Frame yuv(kWidth, kHeight);
    yuv.Convert(player.Picture(), player.Picture().Bounds());
    pictures.emplace_back(yuv.Data(), yuv.Data() + yuv.Bytes());
    for (int t = 1; t < (kFrames - 1) * kTicksPerFrame + 1 && !player.Closed(); ++t) {
      player.Tick();
      if (t % kTicksPerFrame == 0) {
        yuv.Convert(player.Picture(), player.Picture().Bounds());
        pictures.emplace_back(yuv.Data(), yuv.Data() + yuv.Bytes());
      }
    }
    std::filesystem::copy_file(dir.Path() + "/" + kSoundFileName, dir.File("sound.wav"));
  }

  // What ffmpeg does in an export, without the player: the same pictures
  // at the same rate, the same sound and the same encoder settings.
  void EncodeAlone() const {
    const int64_t ticks = int64_t(kFrames - 1) * kTicksPerFrame;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", static_cast<double>(ticks + 1) * 0.040);
    tool::FfmpegPipe pipe(tool::FindFfmpeg(), kWidth, kHeight, 40,
                          {"-i", dir.File("sound.wav"), "-map", "0:v", "-map", "1:a", "-af",
                           std::string("apad=whole_dur=") + seconds + ",atrim=end=" + seconds, "-pix_fmt", "yuv420p",
                           dir.File("alone.mp4")},
                          dir.File("alone.log"), tool::PipePixels::kYuv420p);
    for (int64_t t = 0; t <= ticks; ++t) {
      const std::vector<uint8_t>& p = pictures[std::min<size_t>(t / kTicksPerFrame, pictures.size() - 1)];
      pipe.WriteRaw(p.data(), p.size());
    }
    pipe.Finish();
  }

  void Export() const {
    tool::ExportOptions options;
    options.path = exe;
    options.video = dir.File("export.mp4");
    options.overwrite = tool::ExportOptions::Overwrite::kForce;
    options.progress = tool::ProgressBar::Output::Never;
    tool::Export(options);
  }

  hardening::ScratchDir dir;
  std::string exe;
  std::vector<std::vector<uint8_t>> pictures;
};

void BM_Export(benchmark::State& state) {
  static const auto* fixture = new ExportFixture();
  double bestFigure = 1e99;
  double bestAnchor = 1e99;
  for (auto _ : state) {
    const double f = WallSeconds([&] { fixture->Export(); });
    state.SetIterationTime(f);
    bestFigure = std::min(bestFigure, f);
    bestAnchor = std::min(bestAnchor, WallSeconds([&] { fixture->EncodeAlone(); }));
  }
  state.counters["figure_ms"] = bestFigure * 1e3;
  state.counters["anchor_ms"] = bestAnchor * 1e3;
  state.counters["x"] = bestFigure / bestAnchor;
  state.counters["ticks"] = double((kFrames - 1) * kTicksPerFrame + 1);
  state.SetLabel("export --video of 2 min 1920x1080 vs ffmpeg alone on the same frames: x = export/ffmpeg, goal <= 1.3");
}
BENCHMARK(BM_Export)->Name("Export")->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace sp::bench

BENCHMARK_MAIN();
