// Peak resident memory while playing a 1920 x 1080 recording to its end,
// headless, for 100 and for 10,000 frames: it must not grow with the count.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "bench/child_process.h"
#include "platform/bitmap.h"
#include "app/headless/headless_player.h"
#include "recorder/images.h"
#include "recorder/payload_writer.h"
#include "recorder/recording_builder.h"
#include "recorder/test_media.h"
#include "tests/hardening/headless_run.h"

namespace sp::bench {
namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// Every frame a 16 x 16 block somewhere and a cursor move; FrameInterval 40,
// so every tick is a frame step.
std::string WriteRecording(const hardening::ScratchDir& dir, int frames) {
  Bitmap screen(kWidth, kHeight);
  recorder::FillTestPattern(screen, 21);
  Bitmap tile(16, 16);
  recorder::FillTestPattern(tile, 22);
  const std::vector<uint8_t> tileJpeg = recorder::EncodeJpeg(tile);
  recorder::RecordingBuilder builder(screen);
  builder.Interval(40).FirstCursor(100, 100).Sound(recorder::ToneWav(1.0));
  for (int k = 1; k < frames; ++k) {
    const int x = (k * 37) % (kWidth - 16);
    const int y = (k * 53) % (kHeight - 16);
    recorder::Block block;
    block.rect = {x, y, x + 16, y + 16};
    block.jpeg = tileJpeg;
    builder.AddFrameBlocks({block}, recorder::CursorPosition{(k * 11) % kWidth, (k * 7) % kHeight});
  }
  const std::string path = dir.File("FRAMES" + std::to_string(frames) + ".EXE");
  recorder::WriteFile(path, recorder::MakeSelfPlaying(recorder::ZeroStub(), builder.Build()));
  return path;
}

void BM_PeakMemory(benchmark::State& state) {
  hardening::ScratchDir dir("memory-bench");
  const std::string few = WriteRecording(dir, 100);
  const std::string many = WriteRecording(dir, 10000);
  long rssFew = 0, rssMany = 0;
  double secondsMany = 0;
  const std::string peakFile = dir.File("peak-rss-kb");
  auto peakOf = [&] {
    std::ifstream in(peakFile);
    long kb = 0;
    in >> kb;
    return kb;
  };
  for (auto _ : state) {
    const ChildRun a = RunSelf({"--play-to-end", few, dir.Path(), peakFile});
    rssFew = peakOf();
    const ChildRun b = RunSelf({"--play-to-end", many, dir.Path(), peakFile});
    rssMany = peakOf();
    if (!a.succeeded || !b.succeeded || rssFew <= 0 || rssMany <= 0) {
      state.SkipWithError("a playback did not reach its end");
      return;
    }
    secondsMany = b.wallSeconds;
    state.SetIterationTime(b.wallSeconds);
  }
  state.counters["rss_100_frames_mb"] = static_cast<double>(rssFew) / 1024.0;
  state.counters["rss_10000_frames_mb"] = static_cast<double>(rssMany) / 1024.0;
  state.counters["play_10000_s"] = secondsMany;
  state.counters["x"] = static_cast<double>(rssMany) / static_cast<double>(rssFew);
  state.SetLabel("peak RSS, 1920x1080, 10,000 vs 100 frames: x = rss(10000)/rss(100), goal ~1.0");
}

BENCHMARK(BM_PeakMemory)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

// This process's peak resident memory (VmHWM), in KiB; 0 when unknown.
long PeakRssKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return 0;
}

// Plays exe to its end and writes its own peak resident memory to peakFile.
int PlayToEnd(const char* exe, const char* tempDir, const char* peakFile) {
  HeadlessSystem system;
  system.SetScreenSize(kWidth, kHeight);
  system.SetExecutablePath(exe);
  system.SetTempPath(tempDir);
  HeadlessPlayer player(system);
  player.TickUntilClosed(1000000);
  const bool ended = player.Closed() && system.MessageBoxes().empty();
  std::ofstream(peakFile) << PeakRssKb() << "\n";
  std::_Exit(ended ? 0 : 1);
}

}  // namespace
}  // namespace sp::bench

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--play-to-end") == 0) {
    return sp::bench::PlayToEnd(argv[2], argv[3], argv[4]);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
