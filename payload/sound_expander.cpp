#include "payload/sound_expander.h"

#include <algorithm>
#include <array>

#include "payload/layout.h"

namespace sp {

namespace {

constexpr size_t kPieceBytes = 16 * 1024;
// A chunk is filled until less room than this is left: each step takes an
// eighth of the room in coded bytes, as every decoded byte uses a bit.
constexpr size_t kLeastRoom = 256;

}  // namespace

SoundExpander::SoundExpander(Stream& in, int64_t bitStreamEnd)
    : in_(in), bitStreamEnd_(bitStreamEnd), piece_(kPieceBytes),
      chunk_(kChunkBytes + SoundTableDecoder::kOutputSlack) {
  std::array<uint8_t, kHuffTreeBytes> treeBytes;
  LeInt32 length;
  if (in_.Read(treeBytes.data(), treeBytes.size()) != treeBytes.size() ||
      in_.Read(&length, sizeof length) != sizeof length) {
    treeCut_ = true;
    ended_ = true;
    return;
  }
  length_ = length.Get();
  bitsStart_ = in_.Position();
  decoder_ = std::make_unique<SoundTableDecoder>(ParseHuffTree(treeBytes));
  Resume({bitsStart_, 0, kHuffRoot});
}

SoundExpander::~SoundExpander() = default;

SoundCheckpoint SoundExpander::Checkpoint() const {
  return {pieceOffset_ + static_cast<int64_t>(pieceUsed_), decoded_, expansion_.node};
}

void SoundExpander::Resume(const SoundCheckpoint& at) {
  if (treeCut_) return;
  expansion_ = SoundExpansion(static_cast<int32_t>(std::max<int64_t>(0, length_ - at.decoded)));
  expansion_.node = at.node;
  decoded_ = at.decoded;
  pieceOffset_ = at.input;
  pieceUsed_ = 0;
  pieceSize_ = 0;
  ended_ = false;
}

SoundDecodeStatus SoundExpander::Status() const {
  return treeCut_ ? SoundDecodeStatus::kDamaged : expansion_.status;
}

bool SoundExpander::FillPiece() {
  const int64_t next = pieceOffset_ + static_cast<int64_t>(pieceSize_);
  size_t want = piece_.size();
  if (bitStreamEnd_ >= 0) {
    if (next >= bitStreamEnd_) return false;
    want = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(want), bitStreamEnd_ - next));
  }
  in_.Seek(next, SeekOrigin::Begin);
  const size_t got = in_.Read(piece_.data(), want);
  if (got == 0) return false;
  pieceOffset_ = next;
  pieceUsed_ = 0;
  pieceSize_ = got;
  return true;
}

void SoundExpander::End() {
  ended_ = true;
  // Just behind the last coded byte the walk used, as a byte-wise read
  // would leave it.
  if (!treeCut_) in_.Seek(pieceOffset_ + static_cast<int64_t>(pieceUsed_), SeekOrigin::Begin);
}

std::span<const uint8_t> SoundExpander::Next() {
  if (ended_) return {};
  size_t written = 0;
  const size_t room = kChunkBytes + SoundTableDecoder::kOutputSlack;
  while (expansion_.WantsInput() && room - written >= kLeastRoom) {
    if (pieceUsed_ == pieceSize_ && !FillPiece()) break;
    const SoundTableDecoder::Expanded done = decoder_->ExpandInto(
        expansion_, std::span<const uint8_t>(piece_).subspan(pieceUsed_, pieceSize_ - pieceUsed_),
        std::span<uint8_t>(chunk_).subspan(written));
    if (done.read == 0 && done.written == 0) break;  // cannot happen with this much room
    pieceUsed_ += done.read;
    written += done.written;
  }
  decoded_ += static_cast<int64_t>(written);
  if (written == 0) {
    End();
    return {};
  }
  return std::span<const uint8_t>(chunk_).first(written);
}

}  // namespace sp
