#include "recorder/sound_coder.h"

#include <algorithm>

#include "payload/records.h"
#include "recorder/byte_writer.h"

namespace sp::recorder {
namespace {

// The lightest node among [0, end) that is not yet joined, the lower index
// winning a tie; `skip` is excluded as well.
int Lightest(const std::array<int64_t, kHuffNodeCount>& weight,
             const std::array<bool, kHuffNodeCount>& joined, int end, int skip) {
  int best = -1;
  for (int n = 0; n < end; ++n) {
    if (joined[n] || n == skip) continue;
    if (best < 0 || weight[n] < weight[best]) best = n;
  }
  return best;
}

// One code: the path from the root to a leaf, first bit first. Codes of up
// to 57 bits are also held packed, which covers every real sound track;
// longer ones (only from pathological counts) go bit by bit.
struct Code {
  std::vector<uint8_t> bits;
  uint64_t packed = 0;
};

constexpr size_t kMaxPackedBits = 57;

std::array<Code, kHuffLeafCount> MakeCodes(const HuffTree& tree) {
  std::array<Code, kHuffLeafCount> codes;
  for (int leaf = 0; leaf < kHuffLeafCount; ++leaf) {
    std::vector<uint8_t>& bits = codes[leaf].bits;
    for (int node = leaf; node != kHuffRoot;) {
      const int parent = tree[node].parent;
      bits.push_back(tree[parent].one == node ? 1 : 0);
      node = parent;
    }
    std::reverse(bits.begin(), bits.end());
    if (bits.size() <= kMaxPackedBits) {
      for (uint8_t bit : bits) codes[leaf].packed = codes[leaf].packed << 1 | bit;
    }
  }
  return codes;
}

// Most significant bit first; the last byte is padded with zero bits.
class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}

  void Put(const Code& code) {
    const size_t length = code.bits.size();
    if (length <= kMaxPackedBits) {
      accumulator_ = accumulator_ << length | code.packed;
      count_ += length;
      Drain();
      return;
    }
    for (uint8_t bit : code.bits) {
      accumulator_ = accumulator_ << 1 | bit;
      ++count_;
      Drain();
    }
  }

  void Finish() {
    if (count_ > 0) {
      out_.push_back(static_cast<uint8_t>(accumulator_ << (8 - count_)));
      count_ = 0;
    }
  }

 private:
  void Drain() {
    while (count_ >= 8) {
      count_ -= 8;
      out_.push_back(static_cast<uint8_t>(accumulator_ >> count_));
    }
  }

  std::vector<uint8_t>& out_;
  uint64_t accumulator_ = 0;  // the low count_ bits are pending
  size_t count_ = 0;          // below 8 between calls
};

}  // namespace

HuffTree BuildHuffmanTree(const std::array<uint32_t, 256>& counts) {
  HuffTree tree;
  std::array<int64_t, kHuffNodeCount> weight{};
  std::array<bool, kHuffNodeCount> joined{};
  for (int n = 0; n < kHuffNodeCount; ++n) tree[n] = {0, -1, -1, -1};
  for (int leaf = 0; leaf < kHuffLeafCount; ++leaf) weight[leaf] = counts[leaf];

  // Leaves of count 0 take part like any other, so the tree always has all
  // 511 nodes and its root is 510.
  for (int node = kHuffLeafCount; node < kHuffNodeCount; ++node) {
    const int zero = Lightest(weight, joined, node, -1);
    const int one = Lightest(weight, joined, node, zero);
    joined[zero] = joined[one] = true;
    weight[node] = weight[zero] + weight[one];
    tree[node].zero = zero;
    tree[node].one = one;
    tree[zero].parent = tree[one].parent = node;
  }
  for (int n = 0; n < kHuffNodeCount; ++n) tree[n].weight = static_cast<int32_t>(weight[n]);
  return tree;
}

std::vector<uint8_t> EncodeSoundTrack(std::span<const uint8_t> wav) {
  std::array<uint32_t, 256> counts{};
  for (uint8_t b : wav) ++counts[b];
  const HuffTree tree = BuildHuffmanTree(counts);

  std::vector<uint8_t> out;
  out.reserve(kHuffTreeBytes + 4 + wav.size() / 2);
  ByteWriter writer(out);
  for (const HuffNode& node : tree) {
    HuffNodeRecord record;
    record.weight.Set(node.weight);
    record.parent.Set(node.parent);
    record.one.Set(node.one);
    record.zero.Set(node.zero);
    writer.Put(record);
  }
  writer.Int32(static_cast<int32_t>(wav.size()));

  const std::array<Code, kHuffLeafCount> codes = MakeCodes(tree);
  BitWriter bits(out);
  for (uint8_t b : wav) bits.Put(codes[b]);
  bits.Finish();
  return out;
}

std::vector<uint8_t> MakeWav8Mono(std::span<const uint8_t> samples, int sampleRate) {
  std::vector<uint8_t> out;
  out.reserve(44 + samples.size());
  ByteWriter w(out);
  const uint32_t dataSize = static_cast<uint32_t>(samples.size());
  w.Text("RIFF");
  w.UInt32(36 + dataSize);
  w.Text("WAVE");
  w.Text("fmt ");
  w.UInt32(16);
  w.UInt16(1);  // PCM
  w.UInt16(1);  // mono
  w.UInt32(static_cast<uint32_t>(sampleRate));
  w.UInt32(static_cast<uint32_t>(sampleRate));  // bytes per second: one byte a sample
  w.UInt16(1);  // block align
  w.UInt16(8);  // bits per sample
  w.Text("data");
  w.UInt32(dataSize);
  w.Bytes(samples);
  return out;
}

}  // namespace sp::recorder
