#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "payload/layout.h"

namespace sp {

enum class SoundDecodeStatus {
  kComplete,   // the decoded length has been written (at once when it is 0 or less)
  kTruncated,  // the bits ran out first: more input is wanted, the output is short
  kDamaged,    // a child index outside 0..510 was taken; the output up to it is kept
};

// Where an expansion stands between two pieces of the bit stream. The walk's
// node carries over from one input byte to the next, so a code may straddle
// two pieces.
struct SoundExpansion {
  explicit SoundExpansion(int32_t length)
      : remaining(length > 0 ? length : 0),
        status(length > 0 ? SoundDecodeStatus::kTruncated : SoundDecodeStatus::kComplete) {}

  bool WantsInput() const { return status == SoundDecodeStatus::kTruncated; }

  int32_t remaining;       // bytes still to be written
  SoundDecodeStatus status;
  int32_t node = kHuffRoot;
};

// Expands the sound track's Huffman bit stream with a lookup table of
// kTableBits bits from the root, resolving up to three codes per lookup. Its
// output equals the bit-by-bit walk (WalkSoundTrack) on every tree and every
// stream, damaged, cyclic and truncated ones included: where a table entry
// cannot stand for the walk (a damaged child, a code longer than the table,
// the last few bits of a piece) it walks bit by bit. It reads the tree only
// at indices 0..510 and the input only inside the span it is given.
class SoundTableDecoder {
 public:
  static constexpr int kTableBits = 13;
  // A lookup stores a whole 4-byte word, of which it may use only one byte.
  static constexpr size_t kOutputSlack = 4;

  explicit SoundTableDecoder(std::span<const HuffNode, kHuffNodeCount> tree);

  // Expands the next piece of the bit stream, most significant bit first,
  // appending to out. Returns how many bytes of the piece the walk read: the
  // whole piece while the expansion still wants input, else up to and
  // including the byte that held the last bit used.
  size_t Expand(SoundExpansion& expansion, std::span<const uint8_t> bits,
                std::vector<uint8_t>& out) const;

  // The same into a buffer the caller keeps, which saves clearing memory for
  // every piece. An out of OutputBound(expansion, bits.size()) bytes or more
  // takes the whole piece; from a smaller one only as many input bytes are
  // expanded as surely fit (read says how many), and one of fewer than
  // kOutputSlack + 8 bytes may take none. Bytes of out past `written`, up to
  // kOutputSlack of them, may be overwritten.
  struct Expanded {
    size_t read;
    size_t written;
  };
  Expanded ExpandInto(SoundExpansion& expansion, std::span<const uint8_t> bits, std::span<uint8_t> out) const;

  static size_t OutputBound(const SoundExpansion& expansion, size_t pieceBytes);

 private:
  // One entry per kTableBits-bit prefix, packed: see the .cpp.
  std::array<uint32_t, 1u << kTableBits> table_;
  std::array<int16_t, kHuffNodeCount> one_;   // children, -1 where out of range
  std::array<int16_t, kHuffNodeCount> zero_;
};

struct SoundDecodeResult {
  SoundDecodeStatus status;
  size_t bytesRead;  // input bytes the walk read, as SoundTableDecoder::Expand counts them
};

// The whole bit stream in one piece, through the table.
SoundDecodeResult ExpandSoundTrack(std::span<const HuffNode, kHuffNodeCount> tree, int32_t length,
                                   std::span<const uint8_t> bits, std::vector<uint8_t>& out);

// The same expansion one bit at a time: from node 510, each bit takes the
// `one` or `zero` child; a child outside 0..510 stops it as damaged; a leaf
// below 256 is written and the walk goes back to the root. This is the
// reference that the table is held to.
SoundDecodeResult WalkSoundTrack(std::span<const HuffNode, kHuffNodeCount> tree, int32_t length,
                                 std::span<const uint8_t> bits, std::vector<uint8_t>& out);

// The 511 nodes as the payload stores them: four little-endian integers each.
// bytes must hold at least kHuffTreeBytes.
std::array<HuffNode, kHuffNodeCount> ParseHuffTree(std::span<const uint8_t> bytes);

}  // namespace sp
