// The fuzz check of the on-demand sound: expanding from any checkpoint
// gives what expanding from the start gives from there on, and samples read
// at random equal samples read in order.
#include <algorithm>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "payload/payload_reader.h"
#include "payload/sound_expander.h"
#include "payload/sound_samples.h"
#include "tests/hardening/fuzz_checks.h"

namespace sp::hardening {
namespace {

// At most this many checkpoints are resumed from, spread over the track.
constexpr size_t kResumes = 24;

struct Expanded {
  std::vector<uint8_t> bytes;
  std::vector<SoundCheckpoint> checkpoints;  // before each chunk
  SoundDecodeStatus status = SoundDecodeStatus::kComplete;
};

Expanded ExpandAll(std::span<const uint8_t> input) {
  ByteViewStream in(input);
  SoundExpander expander(in);
  Expanded e;
  for (;;) {
    const SoundCheckpoint at = expander.Checkpoint();
    const std::span<const uint8_t> chunk = expander.Next();
    if (chunk.empty()) break;
    e.checkpoints.push_back(at);
    e.bytes.insert(e.bytes.end(), chunk.begin(), chunk.end());
  }
  e.status = expander.Status();
  return e;
}

std::string CheckResumes(std::span<const uint8_t> input, const Expanded& whole) {
  const size_t step = std::max<size_t>(1, whole.checkpoints.size() / kResumes);
  for (size_t i = 0; i < whole.checkpoints.size(); i += step) {
    const SoundCheckpoint& at = whole.checkpoints[i];
    ByteViewStream in(input);
    SoundExpander expander(in);
    expander.Resume(at);
    std::vector<uint8_t> rest;
    for (std::span<const uint8_t> chunk; !(chunk = expander.Next()).empty();) {
      rest.insert(rest.end(), chunk.begin(), chunk.end());
    }
    const auto from = whole.bytes.begin() + std::min<int64_t>(at.decoded, static_cast<int64_t>(whole.bytes.size()));
    if (!std::equal(rest.begin(), rest.end(), from, whole.bytes.end())) {
      return "resumed at decoded byte " + std::to_string(at.decoded) + ": " + std::to_string(rest.size()) +
             " bytes differ from the " + std::to_string(whole.bytes.end() - from) + " from the start";
    }
    if (expander.Status() != whole.status) {
      return "resumed at decoded byte " + std::to_string(at.decoded) + ": ends otherwise";
    }
  }
  return {};
}

// The samples read in order, then at places drawn from the input.
std::string CheckSamples(std::span<const uint8_t> input) {
  const auto bitStreamEnd = static_cast<int64_t>(input.size());
  auto open = [&] {
    auto samples = std::make_unique<SoundSamples>(std::make_unique<ByteViewStream>(input), 0, bitStreamEnd);
    samples->CompleteIndex();
    return samples;
  };
  const std::unique_ptr<SoundSamples> straight = open();
  if (!straight->IsPcm()) return {};
  const int channels = std::max(1, static_cast<int>(straight->Format().channels));
  const int64_t frames = straight->FrameCount();
  constexpr int kPiece = 4096;
  std::vector<int16_t> inOrder(static_cast<size_t>(frames + kPiece) * channels);
  for (int64_t at = 0; at < frames; at += kPiece) {
    straight->ReadSamples(at, kPiece, inOrder.data() + at * channels);
  }
  const std::unique_ptr<SoundSamples> jumping = open();
  uint32_t seed = static_cast<uint32_t>(input.size());
  for (uint8_t b : input.last(std::min<size_t>(input.size(), 64))) seed = seed * 31 + b;
  std::vector<int16_t> read(static_cast<size_t>(kPiece) * channels);
  for (int i = 0; i < 12 && frames > 0; ++i) {
    seed = seed * 1103515245u + 12345u;
    const int64_t at = static_cast<int64_t>((seed >> 8) % static_cast<uint64_t>(frames));
    const int count = static_cast<int>(1 + (seed >> 3) % kPiece);
    const int64_t got = jumping->ReadSamples(at, count, read.data());
    if (got != std::min<int64_t>(count, frames - at)) return "a read at frame " + std::to_string(at) + " came short";
    if (!std::equal(read.begin(), read.begin() + got * channels, inOrder.begin() + at * channels)) {
      return "the samples at frame " + std::to_string(at) + " differ from those read in order";
    }
  }
  return {};
}

}  // namespace

std::string CheckSoundFromCheckpoint(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> input(data, size);
  const Expanded whole = ExpandAll(input);
  std::string problem = CheckResumes(input, whole);
  if (problem.empty()) problem = CheckSamples(input);
  return problem;
}

}  // namespace sp::hardening
