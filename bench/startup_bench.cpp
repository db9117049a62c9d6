// From process start to frame 0 presented, headless, for an 800 x 600
// recording with a 4 MB sound track, beside the parts it cannot avoid: the
// sound expansion, writing vexa.wav, decoding the key frame.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/child_process.h"
#include "payload/sound_table_decoder.h"
#include "platform/bitmap.h"
#include "app/headless/headless_player.h"
#include "platform/jpeg_image.h"
#include "platform/stream.h"
#include "recorder/payload_writer.h"
#include "recorder/recording_builder.h"
#include "recorder/sound_coder.h"
#include "recorder/test_media.h"
#include "tests/hardening/headless_run.h"

namespace sp::bench {
namespace {

template <typename Fn>
double WallSeconds(Fn&& fn) {
  const auto start = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct StartFixture {
  StartFixture() : dir("startup-bench"), exe(dir.File("BENCH.EXE")), screen(800, 600) {
    recorder::FillTestPattern(screen, 11);
    wav = recorder::ToneWav(4194304.0 / 11025.0, 17);
    recorder::RecordingBuilder builder(screen);
    builder.Sound(wav).FirstCursor(300, 200);
    builder.AddFrameBlocks({}, recorder::CursorPosition{310, 210});
    recording = builder.Build();
    recorder::WriteFile(exe, recorder::MakeSelfPlaying(recorder::ZeroStub(), recording));
    const std::vector<uint8_t> track = recorder::EncodeSoundTrack(wav);
    tree = ParseHuffTree(track);
    bits.assign(track.begin() + kHuffTreeBytes + 4, track.end());
    expanded.resize(wav.size() + SoundTableDecoder::kOutputSlack);
  }

  hardening::ScratchDir dir;
  std::string exe;
  Bitmap screen;
  std::vector<uint8_t> wav;
  recorder::Recording recording;
  std::array<HuffNode, kHuffNodeCount> tree;
  std::vector<uint8_t> bits;
  std::vector<uint8_t> expanded;
};

void BM_StartUp(benchmark::State& state) {
  StartFixture f;
  double best = 1e9, bestSpawn = 1e9, bestExpand = 1e9, bestWrite = 1e9, bestKey = 1e9;
  JpegImage jpeg;
  for (auto _ : state) {
    const ChildRun run = RunSelf({"--show-frame-0", f.exe, f.dir.Path()});
    if (!run.succeeded) {
      state.SkipWithError("the player did not show frame 0");
      return;
    }
    state.SetIterationTime(run.wallSeconds);
    best = std::min(best, run.wallSeconds);
    bestSpawn = std::min(bestSpawn, RunSelf({"--exit"}).wallSeconds);
    bestExpand = std::min(bestExpand, WallSeconds([&] {
      const SoundTableDecoder decoder(f.tree);
      SoundExpansion expansion(static_cast<int32_t>(f.wav.size()));
      decoder.ExpandInto(expansion, f.bits, f.expanded);
    }));
    bestWrite = std::min(bestWrite, WallSeconds([&] {
      std::FILE* out = std::fopen(f.dir.File("vexa.wav").c_str(), "wb");
      for (size_t at = 0; at < f.wav.size(); at += 10000) {
        std::fwrite(f.wav.data() + at, 1, std::min<size_t>(10000, f.wav.size() - at), out);
      }
      std::fclose(out);
    }));
    bestKey = std::min(bestKey, WallSeconds([&] {
      MemoryStream buffer;
      buffer.Write(f.recording.keyFrame.data(), f.recording.keyFrame.size());
      buffer.Seek(0, SeekOrigin::Begin);
      jpeg.LoadFromStream(buffer);
      Bitmap picture;
      jpeg.AssignTo(picture);
    }));
  }
  const double parts = bestExpand + bestWrite + bestKey;
  state.counters["figure_ms"] = best * 1e3;
  state.counters["anchor_ms"] = parts * 1e3;
  state.counters["x"] = best / parts;
  state.counters["expansion_ms"] = bestExpand * 1e3;
  state.counters["file_write_ms"] = bestWrite * 1e3;
  state.counters["key_frame_ms"] = bestKey * 1e3;
  state.counters["bare_process_ms"] = bestSpawn * 1e3;
  state.SetLabel("process start to frame 0 (wall) vs expansion + file write + key-frame decode: x = start/parts");
}

BENCHMARK(BM_StartUp)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// The child: the player's start on the headless back end, ended the moment
// frame 0 is presented.
int ShowFrameZero(const char* exe, const char* tempDir) {
  HeadlessSystem system;
  system.SetScreenSize(1024, 768);
  system.SetExecutablePath(exe);
  system.SetTempPath(tempDir);
  HeadlessPlayer player(system);
  const bool shown = player.Created() && system.MessageBoxes().empty() && system.RunningTimers() > 0;
  std::_Exit(shown ? 0 : 1);
}

}  // namespace
}  // namespace sp::bench

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--show-frame-0") == 0) return sp::bench::ShowFrameZero(argv[2], argv[3]);
  if (argc == 2 && std::strcmp(argv[1], "--exit") == 0) std::_Exit(0);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
