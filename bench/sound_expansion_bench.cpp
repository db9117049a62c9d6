// The sound-track expansion on a 4 MB voice-like WAV: the table decoder
// against the bit-by-bit walk and against zlib inflating the same WAV.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/anchored.h"
#include "payload/sound_table_decoder.h"
#include "recorder/sound_coder.h"
#include "recorder/test_media.h"

namespace sp::bench {
namespace {

struct SoundFixture {
  SoundFixture() {
    // 4 MiB of 8-bit samples at 11,025 Hz: about 380 s of sound.
    wav = recorder::ToneWav(4194304.0 / 11025.0, 17);
    const std::vector<uint8_t> track = recorder::EncodeSoundTrack(wav);
    tree = ParseHuffTree(track);
    bits.assign(track.begin() + kHuffTreeBytes + 4, track.end());

    uLongf size = compressBound(static_cast<uLong>(wav.size()));
    deflated.resize(size);
    if (compress2(deflated.data(), &size, wav.data(), static_cast<uLong>(wav.size()), 6) != Z_OK) std::abort();
    deflated.resize(size);
    tableOut.resize(wav.size() + SoundTableDecoder::kOutputSlack);
    out.reserve(wav.size());
  }

  std::vector<uint8_t> wav;
  std::array<HuffNode, kHuffNodeCount> tree;
  std::vector<uint8_t> bits;
  std::vector<uint8_t> deflated;
  std::vector<uint8_t> out;       // the walk's and inflate's
  std::vector<uint8_t> tableOut;  // the table's, sized once
};

SoundFixture& Fixture() {
  static SoundFixture fixture;
  return fixture;
}

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "sound bench: %s\n", what);
    std::abort();
  }
}

// The whole stream at once into a buffer kept from run to run.
void Table(SoundFixture& f) {
  const SoundTableDecoder decoder(f.tree);
  SoundExpansion expansion(static_cast<int32_t>(f.wav.size()));
  const SoundTableDecoder::Expanded done = decoder.ExpandInto(expansion, f.bits, f.tableOut);
  benchmark::DoNotOptimize(f.tableOut.data());
  Check(expansion.status == SoundDecodeStatus::kComplete && done.written == f.wav.size(), "table output");
}

// As the player feeds it: 64 KiB pieces of the file through one output
// buffer, with a code that straddles two pieces finished by the walk.
void TableInPieces(SoundFixture& f) {
  const SoundTableDecoder decoder(f.tree);
  SoundExpansion expansion(static_cast<int32_t>(f.wav.size()));
  size_t written = 0;
  for (size_t at = 0; at < f.bits.size() && expansion.WantsInput(); at += 65536) {
    const auto piece = std::span(f.bits).subspan(at, std::min<size_t>(65536, f.bits.size() - at));
    written += decoder.ExpandInto(expansion, piece, std::span(f.tableOut).first(8 * 65536 + SoundTableDecoder::kOutputSlack)).written;
    benchmark::DoNotOptimize(f.tableOut.data());
  }
  Check(expansion.status == SoundDecodeStatus::kComplete && written == f.wav.size(), "pieces output");
}

void Walk(SoundFixture& f) {
  f.out.clear();
  const SoundDecodeResult r = WalkSoundTrack(f.tree, static_cast<int32_t>(f.wav.size()), f.bits, f.out);
  benchmark::DoNotOptimize(f.out.data());
  Check(r.status == SoundDecodeStatus::kComplete && f.out.size() == f.wav.size(), "walk output");
}

void Inflate(SoundFixture& f) {
  f.out.resize(f.wav.size());
  uLongf size = static_cast<uLongf>(f.out.size());
  const int result = uncompress(f.out.data(), &size, f.deflated.data(), static_cast<uLong>(f.deflated.size()));
  benchmark::DoNotOptimize(f.out.data());
  Check(result == Z_OK && size == f.wav.size(), "inflate output");
}

void SetBytes(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(Fixture().wav.size()));
}

void BM_SoundTableVsWalk(benchmark::State& state) {
  SoundFixture& f = Fixture();
  RunAnchored(state, [&] { Table(f); }, [&] { Walk(f); }, Ratio::kAnchorOverFigure,
              "table vs bit-by-bit walk: x = walk/table, goal >= 5 (8 with two bytes a lookup)");
  SetBytes(state);
}

void BM_SoundTableVsInflate(benchmark::State& state) {
  SoundFixture& f = Fixture();
  RunAnchored(state, [&] { Table(f); }, [&] { Inflate(f); }, Ratio::kAnchorOverFigure,
              "table vs zlib inflate (level 6) of the WAV: x = inflate/table, goal >= 2");
  SetBytes(state);
  state.counters["deflated_mb"] = static_cast<double>(f.deflated.size()) / 1e6;
  state.counters["huffman_mb"] = static_cast<double>(f.bits.size()) / 1e6;
}

void BM_SoundPiecesVsWalk(benchmark::State& state) {
  SoundFixture& f = Fixture();
  RunAnchored(state, [&] { TableInPieces(f); }, [&] { Walk(f); }, Ratio::kAnchorOverFigure,
              "64 KiB pieces vs bit-by-bit walk: x = walk/pieces, goal >= 5");
  SetBytes(state);
}

BENCHMARK(BM_SoundTableVsWalk)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(12);
BENCHMARK(BM_SoundTableVsInflate)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_SoundPiecesVsWalk)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(12);

}  // namespace
}  // namespace sp::bench

BENCHMARK_MAIN();
