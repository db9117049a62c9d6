#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "payload/sound_expander.h"
#include "payload/wav_samples.h"
#include "platform/stream.h"

namespace sp {

// The sound track's samples, expanded on demand. Indexing expands the track
// once, keeping only a checkpoint every kCheckpointBytes of decoded bytes
// and the WAV file's header; a read then expands from the checkpoint
// before it, so any read costs at most one checkpoint's stretch, and
// reading on from where the last read ended costs only the new bytes.
// Nothing of the decoded track is held beyond a small window.
//
// Used from one thread at a time; it may share its stream with other
// readers on that thread (every read seeks first).
class SoundSamples : public SampleSource {
 public:
  // About three seconds of the recorder's 11,025 Hz 8-bit mono sound.
  static constexpr int64_t kCheckpointBytes = 32 * 1024;

  // The sound-track item at `trackOffset` (its code tree), whose bit
  // stream ends at the file offset `bitStreamEnd`. Reads only the tree.
  SoundSamples(std::unique_ptr<Stream> file, int64_t trackOffset, int64_t bitStreamEnd);
  SoundSamples(Stream& file, int64_t trackOffset, int64_t bitStreamEnd);
  ~SoundSamples() override;

  // Expands about `bytes` more decoded bytes of the track for the index,
  // for a front end that indexes in slices; true when the whole track is
  // indexed.
  bool IndexSome(int64_t bytes);
  void CompleteIndex();
  bool Indexed() const { return indexed_; }

  // Known once the index has reached the "data" chunk (or the end): false
  // when the expanded track is no PCM WAV file of 8 or 16 bits.
  bool IsPcm() const { return layout_.status == WavLayout::Status::kPcm; }
  SoundFormat Format() const override { return layout_.format; }
  int64_t FrameCount() const override;
  int64_t ReadSamples(int64_t firstFrame, int count, int16_t* out) override;

  // How the expansion ended, once indexed: kComplete, or where the track
  // is damaged or cut off (what was decoded before stays readable).
  SoundDecodeStatus Status() const { return indexer_.Status(); }
  int64_t DecodedBytes() const { return indexer_.Decoded(); }
  const std::vector<SoundCheckpoint>& Checkpoints() const { return checkpoints_; }

 private:
  void TakeHead(std::span<const uint8_t> chunk);
  // Makes the window hold the decoded bytes [from, to) as far as the
  // track has them; returns where they begin in it.
  const uint8_t* Bytes(int64_t from, int64_t to);

  std::unique_ptr<Stream> owned_;
  Stream& file_;
  int64_t trackOffset_;
  SoundExpander indexer_;
  std::unique_ptr<SoundExpander> reader_;
  std::vector<SoundCheckpoint> checkpoints_;
  std::vector<uint8_t> head_;
  WavLayout layout_;
  bool indexed_ = false;
  std::vector<uint8_t> window_;  // decoded bytes from windowStart_ on
  int64_t windowStart_ = 0;
};

}  // namespace sp
