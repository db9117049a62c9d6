#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "payload/sound_table_decoder.h"
#include "platform/stream.h"

namespace sp {

// Where an expansion can be taken up again: the file offset of the next
// coded byte, the decoded bytes before it, and the walk's node (a code may
// straddle two coded bytes). Resuming from it gives exactly the bytes that
// expanding from the start gives from `decoded` on.
struct SoundCheckpoint {
  int64_t input = 0;
  int64_t decoded = 0;
  int32_t node = kHuffRoot;
};

// The one expansion of the sound-track item: the 511 nodes, the decoded
// length L, then the bit stream up to `bitStreamEnd` (a file offset; the
// end of the stream when negative). It reads the stream in pieces and hands
// out the decoded bytes in chunks; it never reads the tree outside 0..510
// nor the stream past the bit stream's end, and invents no bits at the end
// of the file. Every read seeks first, so the stream may be shared with
// other readers on the same thread.
class SoundExpander {
 public:
  // Reads the tree and the length at the stream's position. A tree or
  // length cut off by the end of the file is damage: Status() says so and
  // Next() gives nothing.
  explicit SoundExpander(Stream& in, int64_t bitStreamEnd = -1);
  ~SoundExpander();
  SoundExpander(const SoundExpander&) = delete;
  SoundExpander& operator=(const SoundExpander&) = delete;

  // The next decoded bytes, up to kChunkBytes of them; empty once the
  // expansion has ended (Status() says how). Valid until the next call.
  // When it ends, the stream is left just behind the last coded byte used.
  std::span<const uint8_t> Next();

  // Where the next chunk begins.
  SoundCheckpoint Checkpoint() const;
  // Goes on from a checkpoint that this expansion (or one over the same
  // item) gave.
  void Resume(const SoundCheckpoint& at);

  // kTruncated while it still goes on; once Next() gave nothing, how it
  // ended.
  SoundDecodeStatus Status() const;
  bool Ended() const { return ended_; }
  int32_t Length() const { return length_; }
  int64_t Decoded() const { return decoded_; }

  static constexpr size_t kChunkBytes = 16 * 1024;

 private:
  bool FillPiece();
  void End();

  Stream& in_;
  int64_t bitStreamEnd_;
  int64_t bitsStart_ = 0;  // file offset of the first coded byte
  int32_t length_ = 0;
  bool treeCut_ = false;
  std::unique_ptr<SoundTableDecoder> decoder_;
  SoundExpansion expansion_{0};
  std::vector<uint8_t> piece_;
  int64_t pieceOffset_ = 0;  // file offset of piece_[0]
  size_t pieceUsed_ = 0;
  size_t pieceSize_ = 0;
  std::vector<uint8_t> chunk_;
  int64_t decoded_ = 0;
  bool ended_ = false;
};

}  // namespace sp
