#include "payload/sound_samples.h"

#include <algorithm>

namespace sp {

namespace {

// The WAV header is looked for within the track's first bytes.
constexpr size_t kHeadBytes = 64 * 1024;

// Bytes kept before the last read, for a reader that steps back a little.
constexpr int64_t kKeepBehind = 16 * 1024;

Stream& SeekTo(Stream& file, int64_t offset) {
  file.Seek(offset, SeekOrigin::Begin);
  return file;
}

}  // namespace

SoundSamples::SoundSamples(std::unique_ptr<Stream> file, int64_t trackOffset, int64_t bitStreamEnd)
    : owned_(std::move(file)), file_(*owned_), trackOffset_(trackOffset),
      indexer_(SeekTo(file_, trackOffset), bitStreamEnd) {
  checkpoints_.push_back(indexer_.Checkpoint());
  reader_ = std::make_unique<SoundExpander>(SeekTo(file_, trackOffset_), bitStreamEnd);
}

SoundSamples::SoundSamples(Stream& file, int64_t trackOffset, int64_t bitStreamEnd)
    : file_(file), trackOffset_(trackOffset), indexer_(SeekTo(file_, trackOffset), bitStreamEnd) {
  checkpoints_.push_back(indexer_.Checkpoint());
  reader_ = std::make_unique<SoundExpander>(SeekTo(file_, trackOffset_), bitStreamEnd);
}

SoundSamples::~SoundSamples() = default;

bool SoundSamples::IndexSome(int64_t bytes) {
  const int64_t until = indexer_.Decoded() + std::max<int64_t>(bytes, 1);
  while (!indexed_ && indexer_.Decoded() < until) {
    const std::span<const uint8_t> chunk = indexer_.Next();
    if (chunk.empty()) {
      indexed_ = true;
      if (layout_.status == WavLayout::Status::kNeedsMore) layout_ = ParseWavLayout(head_, WavBytes::kWhole);
      head_ = {};
      break;
    }
    TakeHead(chunk);
    const SoundCheckpoint at = indexer_.Checkpoint();
    // Kept before the next chunk could carry it past the stretch, so that
    // checkpoints stand at most kCheckpointBytes apart.
    if (at.decoded - checkpoints_.back().decoded + static_cast<int64_t>(SoundExpander::kChunkBytes) >
        kCheckpointBytes) {
      checkpoints_.push_back(at);
    }
  }
  return indexed_;
}

void SoundSamples::CompleteIndex() {
  while (!IndexSome(int64_t{1} << 30)) {
  }
}

void SoundSamples::TakeHead(std::span<const uint8_t> chunk) {
  if (layout_.status != WavLayout::Status::kNeedsMore) return;
  const size_t take = std::min(chunk.size(), kHeadBytes - head_.size());
  head_.insert(head_.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(take));
  layout_ = ParseWavLayout(head_, head_.size() < kHeadBytes ? WavBytes::kBeginning : WavBytes::kWhole);
  if (layout_.status != WavLayout::Status::kNeedsMore) head_ = {};
}

int64_t SoundSamples::FrameCount() const {
  if (!IsPcm()) return 0;
  const int64_t have = std::min<int64_t>(layout_.dataSize, indexer_.Decoded() - layout_.dataOffset);
  return std::max<int64_t>(0, have / layout_.format.FrameBytes());
}

const uint8_t* SoundSamples::Bytes(int64_t from, int64_t to) {
  const int64_t windowEnd = windowStart_ + static_cast<int64_t>(window_.size());
  if (from < windowStart_ || from > windowEnd + kCheckpointBytes) {
    // Behind the window or far ahead of it: from the checkpoint before.
    const auto after = std::upper_bound(checkpoints_.begin(), checkpoints_.end(), from,
                                        [](int64_t at, const SoundCheckpoint& c) { return at < c.decoded; });
    const SoundCheckpoint& at = *std::prev(after);
    reader_->Resume(at);
    window_.clear();
    windowStart_ = at.decoded;
  } else if (from - windowStart_ > 2 * kKeepBehind) {
    const int64_t drop = std::min<int64_t>(from - kKeepBehind - windowStart_, static_cast<int64_t>(window_.size()));
    window_.erase(window_.begin(), window_.begin() + static_cast<std::ptrdiff_t>(drop));
    windowStart_ += drop;
  }
  while (windowStart_ + static_cast<int64_t>(window_.size()) < to) {
    const std::span<const uint8_t> chunk = reader_->Next();
    if (chunk.empty()) break;
    window_.insert(window_.end(), chunk.begin(), chunk.end());
  }
  return window_.data() + (from - windowStart_);
}

int64_t SoundSamples::ReadSamples(int64_t firstFrame, int count, int16_t* out) {
  const SoundFormat f = layout_.format;
  const int channels = std::max(1, f.channels);
  std::fill(out, out + static_cast<size_t>(std::max(count, 0)) * channels, int16_t{0});
  const int64_t from = std::max<int64_t>(firstFrame, 0);
  const int64_t to = std::min<int64_t>(firstFrame + count, FrameCount());
  if (from >= to) return 0;
  const int64_t frameBytes = f.FrameBytes();
  const int64_t byteFrom = layout_.dataOffset + from * frameBytes;
  const int64_t byteTo = layout_.dataOffset + to * frameBytes;
  const uint8_t* bytes = Bytes(byteFrom, byteTo);
  // The reader reaches what the index reached, so the bytes are all there.
  const int64_t got = std::min<int64_t>(to - from, (windowStart_ + static_cast<int64_t>(window_.size()) - byteFrom) / frameBytes);
  if (got <= 0) return 0;
  ConvertWavSamples(f, bytes, got, out + (from - firstFrame) * channels);
  return got;
}

}  // namespace sp
