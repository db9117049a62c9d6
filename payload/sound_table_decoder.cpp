#include "payload/sound_table_decoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace sp {
namespace {

constexpr int kBits = SoundTableDecoder::kTableBits;

// A table entry, for the kBits bits that follow while the walk is at the root:
//   bits 0-5    the bits the entry uses; alone in the low six bits, so that
//               the hot path shifts the bit buffer by `entry & 63`, which
//               compiles to a shift by the entry itself
//   bits 6-7    how many bytes those bits resolve, 1 to 3; 0 marks a special entry
//   bits 8-31   the bytes, the first in bits 8-15
// A special entry has bit 8 set when a damaged child is taken before any byte
// (bits 0-5: the bits up to and including the damaging one), and otherwise
// holds in bits 9-17 the inner node the walk reaches after kBits bits
// without reaching a leaf.
constexpr int kMaxPerLookup = 3;
constexpr uint32_t kCountShift = 6;
constexpr uint32_t kBytesShift = 8;
constexpr uint32_t kDamagedFlag = 1u << 8;
constexpr uint32_t kNodeShift = 9;

constexpr uint32_t CountOf(uint32_t entry) { return (entry >> kCountShift) & 3; }
constexpr int BitsOf(uint32_t entry) { return static_cast<int>(entry & 63); }

static_assert(SoundTableDecoder::kTableBits <= 14, "four lookups must fit in the 56 bits of a refill");
// An entry's bytes are stored by copying its low bytes to the output.
static_assert(std::endian::native == std::endian::little);

// The bit stream, most significant bit first, through a 64-bit buffer whose
// top `count` bits are the next ones. Bits below those may hold the following
// byte's leading bits already (the 8-byte refill loads more than it counts),
// which a later refill ORs in again unchanged.
struct BitReader {
  const uint8_t* next;
  const uint8_t* end;
  uint64_t buffer = 0;
  int count = 0;

  bool CanRefillFast() const { return end - next >= 8; }

  // Leaves at least 56 bits in the buffer. Only when CanRefillFast().
  void RefillFast() {
    uint64_t word;
    std::memcpy(&word, next, 8);
    word = __builtin_bswap64(word);
    buffer |= word >> count;
    next += (63 - count) >> 3;
    count |= 56;
  }

  void Refill() {
    if (CanRefillFast()) {
      RefillFast();
      return;
    }
    while (count <= 56 && next < end) {
      buffer |= static_cast<uint64_t>(*next++) << (56 - count);
      count += 8;
    }
  }

  void Skip(int bits) {
    buffer <<= bits;
    count -= bits;
  }
};

enum class WalkStop { kWrote, kOutOfBits, kDamaged };

}  // namespace

SoundTableDecoder::SoundTableDecoder(std::span<const HuffNode, kHuffNodeCount> tree) {
  auto checked = [](int32_t child) -> int16_t {
    return child >= 0 && child < kHuffNodeCount ? static_cast<int16_t>(child) : int16_t{-1};
  };
  for (int n = 0; n < kHuffNodeCount; ++n) {
    one_[n] = checked(tree[n].one);
    zero_[n] = checked(tree[n].zero);
  }

  for (uint32_t prefix = 0; prefix < table_.size(); ++prefix) {
    int node = kHuffRoot;
    uint32_t count = 0;
    uint32_t bytes = 0;
    uint32_t used = 0;
    int bit = 0;
    for (; bit < kBits && count < kMaxPerLookup; ++bit) {
      const int child = (prefix >> (kBits - 1 - bit)) & 1 ? one_[node] : zero_[node];
      if (child < 0) break;
      node = child;
      if (node >= kHuffLeafCount) continue;
      bytes |= static_cast<uint32_t>(node) << (kBytesShift + 8 * count);
      used = static_cast<uint32_t>(bit + 1);
      ++count;
      node = kHuffRoot;
    }
    if (count > 0) {
      // A damaged child after the last byte is met again by the next lookup,
      // which starts at the root exactly where the walk would.
      table_[prefix] = bytes | used | count << kCountShift;
    } else if (bit < kBits) {
      table_[prefix] = kDamagedFlag | static_cast<uint32_t>(bit + 1);
    } else {
      table_[prefix] = static_cast<uint32_t>(node) << kNodeShift;
    }
  }
}

size_t SoundTableDecoder::OutputBound(const SoundExpansion& expansion, size_t pieceBytes) {
  // Every byte written uses at least one bit.
  const size_t most = expansion.WantsInput() ? static_cast<size_t>(expansion.remaining) : 0;
  return std::min(most, pieceBytes * 8) + kOutputSlack;
}

size_t SoundTableDecoder::Expand(SoundExpansion& expansion, std::span<const uint8_t> bits,
                                 std::vector<uint8_t>& out) const {
  const size_t base = out.size();
  out.resize(base + OutputBound(expansion, bits.size()));
  const Expanded done = ExpandInto(expansion, bits, std::span(out).subspan(base));
  out.resize(base + done.written);
  return done.read;
}

SoundTableDecoder::Expanded SoundTableDecoder::ExpandInto(SoundExpansion& expansion,
                                                          std::span<const uint8_t> bits,
                                                          std::span<uint8_t> out) const {
  if (!expansion.WantsInput() || out.size() < kOutputSlack) return {0, 0};
  const size_t room = out.size() - kOutputSlack;
  if (static_cast<size_t>(expansion.remaining) > room) bits = bits.first(std::min(bits.size(), room / 8));
  if (bits.empty()) return {0, 0};
  uint8_t* write = out.data();

  BitReader reader{bits.data(), bits.data() + bits.size()};
  int32_t remaining = expansion.remaining;
  int node = expansion.node;
  SoundDecodeStatus status = SoundDecodeStatus::kTruncated;

  // One code from `node`, a bit at a time.
  auto walk = [&]() -> WalkStop {
    for (;;) {
      if (reader.count == 0) {
        reader.Refill();
        if (reader.count == 0) return WalkStop::kOutOfBits;
      }
      const bool one = reader.buffer >> 63;
      reader.Skip(1);
      const int child = one ? one_[node] : zero_[node];
      if (child < 0) return WalkStop::kDamaged;
      node = child;
      if (node < kHuffLeafCount) {
        *write++ = static_cast<uint8_t>(node);
        --remaining;
        node = kHuffRoot;
        return WalkStop::kWrote;
      }
    }
  };
  auto stop = [&](WalkStop why) {
    status = why == WalkStop::kDamaged ? SoundDecodeStatus::kDamaged : SoundDecodeStatus::kTruncated;
  };

  // A code begun in the previous piece is finished first; the table holds
  // only walks that begin at the root.
  bool going = true;
  if (node != kHuffRoot) {
    const WalkStop why = walk();
    if (why != WalkStop::kWrote) {
      stop(why);
      going = false;
    }
  }

  while (going && remaining > 0) {
    // Four lookups use at most 48 of the 56 bits a fast refill guarantees.
    bool special = false;
    while (remaining >= 4 * kMaxPerLookup && reader.CanRefillFast() && !special) {
      reader.RefillFast();
      for (int i = 0; i < 4; ++i) {
        const uint32_t entry = table_[reader.buffer >> (64 - kBits)];
        const uint32_t count = CountOf(entry);
        if (count == 0) {
          special = true;
          break;
        }
        const uint32_t bytes = entry >> kBytesShift;
        std::memcpy(write, &bytes, 4);
        write += count;
        remaining -= static_cast<int32_t>(count);
        reader.Skip(BitsOf(entry));
      }
    }

    if (remaining == 0) break;
    reader.Refill();
    const uint32_t entry = reader.count >= kBits ? table_[reader.buffer >> (64 - kBits)] : 0;
    const uint32_t count = CountOf(entry);
    if (count > 0 && count <= static_cast<uint32_t>(remaining)) {
      const uint32_t bytes = entry >> kBytesShift;
      std::memcpy(write, &bytes, 4);
      write += count;
      remaining -= static_cast<int32_t>(count);
      reader.Skip(BitsOf(entry));
    } else if (count == 0 && reader.count >= kBits && (entry & kDamagedFlag)) {
      reader.Skip(BitsOf(entry));
      status = SoundDecodeStatus::kDamaged;
      break;
    } else {
      // Bit by bit: the piece's last bits (too few for an entry, which
      // assumes kBits), a code longer than the table (going on from where
      // its first kBits bits lead), or more bytes than the length still wants.
      if (count == 0 && reader.count >= kBits) {
        reader.Skip(kBits);
        node = static_cast<int>(entry >> kNodeShift & 511);
      }
      const WalkStop why = walk();
      if (why != WalkStop::kWrote) {
        stop(why);
        break;
      }
    }
  }
  if (remaining == 0) status = SoundDecodeStatus::kComplete;

  expansion.remaining = remaining;
  expansion.node = node;
  expansion.status = status;
  const size_t written = static_cast<size_t>(write - out.data());
  if (status == SoundDecodeStatus::kTruncated) return {bits.size(), written};
  const size_t bitsUsed = static_cast<size_t>(reader.next - bits.data()) * 8 - static_cast<size_t>(reader.count);
  return {(bitsUsed + 7) / 8, written};
}

SoundDecodeResult ExpandSoundTrack(std::span<const HuffNode, kHuffNodeCount> tree, int32_t length,
                                   std::span<const uint8_t> bits, std::vector<uint8_t>& out) {
  SoundExpansion expansion(length);
  if (!expansion.WantsInput()) return {expansion.status, 0};
  const SoundTableDecoder decoder(tree);
  const size_t read = decoder.Expand(expansion, bits, out);
  return {expansion.status, read};
}

SoundDecodeResult WalkSoundTrack(std::span<const HuffNode, kHuffNodeCount> tree, int32_t length,
                                 std::span<const uint8_t> bits, std::vector<uint8_t>& out) {
  if (length <= 0) return {SoundDecodeStatus::kComplete, 0};
  int node = kHuffRoot;
  for (size_t i = 0; i < bits.size(); ++i) {
    for (int bit = 7; bit >= 0; --bit) {
      const int32_t child = (bits[i] >> bit) & 1 ? tree[node].one : tree[node].zero;
      if (child < 0 || child >= kHuffNodeCount) return {SoundDecodeStatus::kDamaged, i + 1};
      node = child;
      if (node >= kHuffLeafCount) continue;
      out.push_back(static_cast<uint8_t>(node));
      if (--length == 0) return {SoundDecodeStatus::kComplete, i + 1};
      node = kHuffRoot;
    }
  }
  return {SoundDecodeStatus::kTruncated, bits.size()};
}

std::array<HuffNode, kHuffNodeCount> ParseHuffTree(std::span<const uint8_t> bytes) {
  std::array<HuffNode, kHuffNodeCount> tree{};
  if (bytes.size() < kHuffTreeBytes) return tree;
  for (int n = 0; n < kHuffNodeCount; ++n) {
    HuffNodeRecord record;
    std::memcpy(&record, bytes.data() + static_cast<size_t>(n) * sizeof record, sizeof record);
    tree[n] = {record.weight.Get(), record.parent.Get(), record.one.Get(), record.zero.Get()};
  }
  return tree;
}

}  // namespace sp
