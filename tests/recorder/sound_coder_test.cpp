#include "recorder/sound_coder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <random>

#include "recorder/test_media.h"

namespace sp::recorder {
namespace {

std::array<uint32_t, 256> CountBytes(const std::vector<uint8_t>& bytes) {
  std::array<uint32_t, 256> counts{};
  for (uint8_t b : bytes) ++counts[b];
  return counts;
}

int32_t Int32At(const std::vector<uint8_t>& bytes, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | bytes[at + i];
  return static_cast<int32_t>(v);
}

bool Before(const HuffTree& t, int a, int b) {
  return t[a].weight < t[b].weight || (t[a].weight == t[b].weight && a < b);
}

// Checks every rule of the recorder's tree against the counts it was made of.
void ExpectRecorderTree(const HuffTree& t, const std::array<uint32_t, 256>& counts) {
  int64_t total = 0;
  for (int leaf = 0; leaf < kHuffLeafCount; ++leaf) {
    EXPECT_EQ(t[leaf].weight, static_cast<int32_t>(counts[leaf])) << "leaf " << leaf;
    EXPECT_EQ(t[leaf].one, -1);
    EXPECT_EQ(t[leaf].zero, -1);
    total += counts[leaf];
  }
  EXPECT_EQ(t[kHuffRoot].parent, -1);
  EXPECT_EQ(t[kHuffRoot].weight, static_cast<int32_t>(total));
  for (int n = 0; n < kHuffRoot; ++n) {
    ASSERT_GT(t[n].parent, n) << "node " << n;
    ASSERT_LE(t[n].parent, kHuffRoot);
    const HuffNode& p = t[t[n].parent];
    EXPECT_TRUE(p.one == n || p.zero == n) << "node " << n << " is not its parent's child";
  }
  for (int n = kHuffLeafCount; n < kHuffNodeCount; ++n) {
    const int zero = t[n].zero;
    const int one = t[n].one;
    ASSERT_GE(zero, 0);
    ASSERT_GE(one, 0);
    ASSERT_LT(zero, n);
    ASSERT_LT(one, n);
    EXPECT_EQ(t[zero].parent, n);
    EXPECT_EQ(t[one].parent, n);
    EXPECT_EQ(t[n].weight, t[zero].weight + t[one].weight) << "node " << n;
    if (n > kHuffLeafCount) {
      EXPECT_GE(t[n].weight, t[n - 1].weight) << "node " << n;
    }
    EXPECT_TRUE(Before(t, zero, one)) << "node " << n << ": zero child must be the lighter";
    // Nodes still unjoined at this step: made before n and joined at n or later.
    for (int m = 0; m < n; ++m) {
      if (m == zero || m == one || t[m].parent < n) continue;
      EXPECT_TRUE(Before(t, one, m)) << "node " << n << " passed over the lighter node " << m;
    }
  }
}

int Depth(const HuffTree& t, int leaf) {
  int depth = 0;
  for (int n = leaf; n != kHuffRoot; n = t[n].parent) ++depth;
  return depth;
}

// The player's walk: root 510, `one` on a 1 bit, `zero` on a 0 bit, a leaf
// emits its byte and starts again at the root.
struct Decoded {
  std::vector<uint8_t> bytes;
  size_t bytesRead = 0;     // bit-stream bytes touched
  bool paddingZero = true;  // the bits left in the last byte
};

Decoded WalkSoundTrack(const std::vector<uint8_t>& item) {
  HuffTree tree;
  for (int n = 0; n < kHuffNodeCount; ++n) {
    tree[n] = {Int32At(item, n * 16), Int32At(item, n * 16 + 4), Int32At(item, n * 16 + 8),
               Int32At(item, n * 16 + 12)};
  }
  int32_t length = Int32At(item, kHuffTreeBytes);
  Decoded out;
  int node = kHuffRoot;
  size_t at = kHuffTreeBytes + 4;
  while (length > 0 && at < item.size()) {
    const uint8_t c = item[at++];
    ++out.bytesRead;
    for (int bit = 7; bit >= 0; --bit) {
      if (length == 0) {
        if ((c >> bit) & 1) out.paddingZero = false;
        continue;
      }
      node = ((c >> bit) & 1) ? tree[node].one : tree[node].zero;
      if (node < 0 || node >= kHuffNodeCount) return out;
      if (node >= kHuffLeafCount) continue;
      out.bytes.push_back(static_cast<uint8_t>(node));
      --length;
      node = kHuffRoot;
    }
  }
  return out;
}

void ExpectRoundTrip(const std::vector<uint8_t>& input) {
  const std::vector<uint8_t> item = EncodeSoundTrack(input);
  ASSERT_GE(item.size(), kHuffTreeBytes + 4);
  const HuffTree tree = BuildHuffmanTree(CountBytes(input));
  for (int n = 0; n < kHuffNodeCount; ++n) {
    ASSERT_EQ(Int32At(item, n * 16), tree[n].weight);
    ASSERT_EQ(Int32At(item, n * 16 + 4), tree[n].parent);
    ASSERT_EQ(Int32At(item, n * 16 + 8), tree[n].one);
    ASSERT_EQ(Int32At(item, n * 16 + 12), tree[n].zero);
  }
  EXPECT_EQ(Int32At(item, kHuffTreeBytes), static_cast<int32_t>(input.size()));

  uint64_t bits = 0;
  for (uint8_t b : input) bits += Depth(tree, b);
  EXPECT_EQ(item.size(), kHuffTreeBytes + 4 + (bits + 7) / 8);

  const Decoded decoded = WalkSoundTrack(item);
  EXPECT_EQ(decoded.bytes, input);
  EXPECT_EQ(decoded.bytesRead, item.size() - kHuffTreeBytes - 4) << "bytes left behind the code";
  EXPECT_TRUE(decoded.paddingZero);
}

TEST(HuffmanTree, FollowsTheRecorderRulesForAnyCounts) {
  std::mt19937 random(5);
  std::vector<uint8_t> uniform(20000);
  for (auto& b : uniform) b = static_cast<uint8_t>(random());
  std::vector<uint8_t> skewed;
  for (int v = 0; v < 40; ++v) skewed.insert(skewed.end(), 4000 >> (v / 3), static_cast<uint8_t>(v * 5));

  ExpectRecorderTree(BuildHuffmanTree(CountBytes(uniform)), CountBytes(uniform));
  ExpectRecorderTree(BuildHuffmanTree(CountBytes(skewed)), CountBytes(skewed));

  std::array<uint32_t, 256> single{};
  single[0x80] = 1000;
  ExpectRecorderTree(BuildHuffmanTree(single), single);
  ExpectRecorderTree(BuildHuffmanTree({}), {});

  std::array<uint32_t, 256> equal{};
  equal.fill(7);
  ExpectRecorderTree(BuildHuffmanTree(equal), equal);
}

TEST(HuffmanTree, ZeroChildIsTheLighterOrOfLowerIndex) {
  std::array<uint32_t, 256> counts{};
  counts.fill(100);
  counts[9] = 5;
  counts[3] = 5;
  const HuffTree t = BuildHuffmanTree(counts);
  EXPECT_EQ(t[256].zero, 3);
  EXPECT_EQ(t[256].one, 9);
  // Node 256 (weight 10) is lighter than every leaf left, so it is the zero
  // child next to leaf 0 although its index is higher.
  EXPECT_EQ(t[257].zero, 256);
  EXPECT_EQ(t[257].one, 0);
  EXPECT_EQ(t[258].zero, 1);
  EXPECT_EQ(t[258].one, 2);
}

TEST(HuffmanTree, FibonacciCountsGiveCodesLongerThan32Bits) {
  std::array<uint32_t, 256> counts{};
  uint32_t a = 1, b = 1;
  for (int i = 0; i < 40; ++i) {
    counts[i] = a;
    const uint32_t c = a + b;
    a = b;
    b = c;
  }
  const HuffTree t = BuildHuffmanTree(counts);
  ExpectRecorderTree(t, counts);
  EXPECT_GT(Depth(t, 0), 32);
}

TEST(SoundTrack, DecodesBackBitByBit) {
  std::mt19937 random(11);
  std::vector<uint8_t> uniform(5001);
  for (auto& b : uniform) b = static_cast<uint8_t>(random());
  ExpectRoundTrip(uniform);

  std::vector<uint8_t> skewed;
  for (int i = 0; i < 3000; ++i) skewed.push_back(static_cast<uint8_t>(128 + (i % 7 == 0 ? i % 3 : 0)));
  ExpectRoundTrip(skewed);

  ExpectRoundTrip(std::vector<uint8_t>(777, 0x42));
  ExpectRoundTrip({0xFF});
  ExpectRoundTrip({0, 255, 0, 255, 0});
}

TEST(SoundTrack, RealisticWavDecodesWithShortCodes) {
  const std::vector<uint8_t> wav = ToneWav(3.0, 4);
  ExpectRoundTrip(wav);
  const HuffTree t = BuildHuffmanTree(CountBytes(wav));
  const std::vector<uint8_t> item = EncodeSoundTrack(wav);
  // Samples crowd around 128, so the code beats 8 bits a byte by far.
  EXPECT_LT(item.size() - kHuffTreeBytes - 4, wav.size() * 3 / 4);
  EXPECT_LE(Depth(t, 128), 6);
}

TEST(SoundTrack, EmptyInputHasATreeAndNoBitStream) {
  const std::vector<uint8_t> item = EncodeSoundTrack({});
  ASSERT_EQ(item.size(), kHuffTreeBytes + 4);
  EXPECT_EQ(Int32At(item, kHuffTreeBytes), 0);
  EXPECT_EQ(Int32At(item, kHuffRoot * 16 + 4), -1);
}

TEST(Wav, HeaderDescribes8BitMonoPcm) {
  const std::vector<uint8_t> samples = {1, 2, 3, 4, 5};
  const std::vector<uint8_t> wav = MakeWav8Mono(samples, 11025);
  ASSERT_EQ(wav.size(), 44u + samples.size());
  EXPECT_EQ(0, std::memcmp(wav.data(), "RIFF", 4));
  EXPECT_EQ(Int32At(wav, 4), static_cast<int32_t>(wav.size() - 8));
  EXPECT_EQ(0, std::memcmp(wav.data() + 8, "WAVEfmt ", 8));
  EXPECT_EQ(Int32At(wav, 16), 16);
  EXPECT_EQ(wav[20] | wav[21] << 8, 1);  // PCM
  EXPECT_EQ(wav[22] | wav[23] << 8, 1);  // mono
  EXPECT_EQ(Int32At(wav, 24), 11025);
  EXPECT_EQ(Int32At(wav, 28), 11025);
  EXPECT_EQ(wav[32] | wav[33] << 8, 1);
  EXPECT_EQ(wav[34] | wav[35] << 8, 8);
  EXPECT_EQ(0, std::memcmp(wav.data() + 36, "data", 4));
  EXPECT_EQ(Int32At(wav, 40), 5);
  EXPECT_TRUE(std::equal(samples.begin(), samples.end(), wav.begin() + 44));
}

TEST(Wav, ToneSamplesAreDeterministic) {
  EXPECT_EQ(ToneSamples(5000, 3), ToneSamples(5000, 3));
  EXPECT_NE(ToneSamples(5000, 3), ToneSamples(5000, 4));
  EXPECT_EQ(ToneWav(1.0).size(), 44u + 11025u);
}

}  // namespace
}  // namespace sp::recorder
