#include "payload/sound_table_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "recorder/sound_coder.h"
#include "recorder/test_media.h"

namespace sp {
namespace {

using Tree = std::array<HuffNode, kHuffNodeCount>;

struct Outcome {
  SoundDecodeStatus status;
  size_t bytesRead;
  std::vector<uint8_t> bytes;
};

Outcome Walk(const Tree& tree, int32_t length, std::span<const uint8_t> bits) {
  Outcome o;
  const SoundDecodeResult r = WalkSoundTrack(tree, length, bits, o.bytes);
  o.status = r.status;
  o.bytesRead = r.bytesRead;
  return o;
}

Outcome Table(const Tree& tree, int32_t length, std::span<const uint8_t> bits) {
  Outcome o;
  const SoundDecodeResult r = ExpandSoundTrack(tree, length, bits, o.bytes);
  o.status = r.status;
  o.bytesRead = r.bytesRead;
  return o;
}

// The same stream fed in pieces whose sizes the generator picks; the byte
// count is the one the walk reads in total.
Outcome TableInPieces(const Tree& tree, int32_t length, std::span<const uint8_t> bits, std::mt19937& rng) {
  Outcome o;
  const SoundTableDecoder decoder(tree);
  SoundExpansion expansion(length);
  size_t at = 0;
  size_t read = 0;
  while (expansion.WantsInput() && at < bits.size()) {
    const size_t piece = std::min<size_t>(bits.size() - at, 1 + rng() % 40);
    read += decoder.Expand(expansion, bits.subspan(at, piece), o.bytes);
    at += piece;
  }
  o.status = expansion.status;
  o.bytesRead = length > 0 ? read : 0;
  return o;
}

// Through buffers of random sizes, some smaller than a piece needs: the
// decoder then takes only the input bytes that surely fit.
Outcome TableThroughSmallBuffers(const Tree& tree, int32_t length, std::span<const uint8_t> bits,
                                 std::mt19937& rng) {
  Outcome o;
  const SoundTableDecoder decoder(tree);
  SoundExpansion expansion(length);
  std::vector<uint8_t> buffer;
  size_t at = 0;
  size_t read = 0;
  while (expansion.WantsInput() && at < bits.size()) {
    buffer.assign(SoundTableDecoder::kOutputSlack + 8 + rng() % 100, 0xee);
    const SoundTableDecoder::Expanded done = decoder.ExpandInto(expansion, bits.subspan(at), buffer);
    EXPECT_GT(done.read, 0u);
    EXPECT_LE(done.written + SoundTableDecoder::kOutputSlack, buffer.size());
    o.bytes.insert(o.bytes.end(), buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(done.written));
    read += done.read;
    at += done.read;
    if (done.read == 0) break;
  }
  o.status = expansion.status;
  o.bytesRead = length > 0 ? read : 0;
  return o;
}

void ExpectSame(const Outcome& walk, const Outcome& table, const std::string& what) {
  ASSERT_EQ(static_cast<int>(walk.status), static_cast<int>(table.status)) << what;
  ASSERT_EQ(walk.bytesRead, table.bytesRead) << what;
  ASSERT_EQ(walk.bytes.size(), table.bytes.size()) << what;
  ASSERT_TRUE(walk.bytes == table.bytes) << what;
}

void ExpectAgree(const Tree& tree, int32_t length, std::span<const uint8_t> bits, std::mt19937& rng,
                 const std::string& what) {
  const Outcome walk = Walk(tree, length, bits);
  ExpectSame(walk, Table(tree, length, bits), what);
  ExpectSame(walk, TableInPieces(tree, length, bits, rng), what + " (in pieces)");
  ExpectSame(walk, TableThroughSmallBuffers(tree, length, bits, rng), what + " (small buffers)");
}

Tree TreeFromTrack(const std::vector<uint8_t>& track) {
  return ParseHuffTree(std::span(track).first(kHuffTreeBytes));
}

std::span<const uint8_t> BitsOf(const std::vector<uint8_t>& track) {
  return std::span(track).subspan(kHuffTreeBytes + 4);
}

std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t count) {
  std::vector<uint8_t> bytes(count);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

// Data whose byte counts give codes from 1 bit to beyond the table's width.
std::vector<uint8_t> SkewedData(std::mt19937& rng, size_t count, double spread) {
  std::geometric_distribution<int> pick(spread);
  std::vector<uint8_t> bytes(count);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(std::min(pick(rng), 255));
  return bytes;
}

TEST(SoundTableDecoder, ExpandsWhatTheRecorderCoded) {
  std::mt19937 rng(11);
  const std::vector<std::vector<uint8_t>> inputs = {
      recorder::ToneWav(2.0, 3),
      RandomBytes(rng, 5000),
      SkewedData(rng, 20000, 0.5),   // one byte value in two: 1-bit codes
      SkewedData(rng, 20000, 0.08),  // a long tail of rare values
      std::vector<uint8_t>(300, 0x80),
  };
  for (size_t i = 0; i < inputs.size(); ++i) {
    const std::vector<uint8_t> track = recorder::EncodeSoundTrack(inputs[i]);
    const Tree tree = TreeFromTrack(track);
    Outcome table = Table(tree, static_cast<int32_t>(inputs[i].size()), BitsOf(track));
    EXPECT_EQ(table.status, SoundDecodeStatus::kComplete) << "input " << i;
    EXPECT_TRUE(table.bytes == inputs[i]) << "input " << i;
    EXPECT_EQ(table.bytesRead, BitsOf(track).size()) << "input " << i;
  }
}

TEST(SoundTableDecoder, CodesLongerThanTheTable) {
  // Fibonacci counts make a tree one leaf deeper per value: codes up to 30 bits.
  std::array<uint32_t, 256> counts{};
  uint32_t a = 1, b = 1;
  for (int v = 0; v < 30; ++v) {
    counts[v] = a;
    const uint32_t next = a + b;
    a = b;
    b = next;
  }
  std::vector<uint8_t> data;
  std::mt19937 rng(5);
  for (int i = 0; i < 4000; ++i) data.push_back(static_cast<uint8_t>(rng() % 30));
  const Tree tree = recorder::BuildHuffmanTree(counts);
  // Code with the deep tree here, by walking up from each leaf: the
  // recorder's coder would build its own tree from the data.
  std::vector<uint8_t> bits;
  uint64_t acc = 0;
  int pending = 0;
  for (uint8_t v : data) {
    std::vector<int> path;
    for (int node = v; node != kHuffRoot; node = tree[node].parent) {
      path.push_back(tree[tree[node].parent].one == node ? 1 : 0);
    }
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
      acc = acc << 1 | static_cast<uint64_t>(*it);
      if (++pending == 8) {
        bits.push_back(static_cast<uint8_t>(acc));
        pending = 0;
      }
    }
  }
  if (pending > 0) bits.push_back(static_cast<uint8_t>(acc << (8 - pending)));

  const Outcome table = Table(tree, static_cast<int32_t>(data.size()), bits);
  EXPECT_EQ(table.status, SoundDecodeStatus::kComplete);
  EXPECT_TRUE(table.bytes == data);
  for (size_t cut = 0; cut < bits.size(); cut += 1 + cut / 7) {
    ExpectAgree(tree, static_cast<int32_t>(data.size()), std::span(bits).first(cut), rng,
                "cut at " + std::to_string(cut));
  }
}

TEST(SoundTableDecoder, LengthsAndCutsAgreeWithTheWalk) {
  std::mt19937 rng(23);
  const std::vector<uint8_t> wav = recorder::ToneWav(0.5, 9);
  const std::vector<uint8_t> track = recorder::EncodeSoundTrack(wav);
  const Tree tree = TreeFromTrack(track);
  const std::span<const uint8_t> bits = BitsOf(track);
  const int32_t full = static_cast<int32_t>(wav.size());

  for (int32_t length : {INT32_MIN, -1, 0, 1, 2, 3, 7, 8, 9, full - 1, full, full + 1, INT32_MAX}) {
    ExpectAgree(tree, length, bits, rng, "length " + std::to_string(length));
  }
  for (int i = 0; i < 200; ++i) {
    const size_t cut = rng() % (bits.size() + 1);
    const int32_t length = static_cast<int32_t>(rng() % (2 * wav.size()));
    ExpectAgree(tree, length, bits.first(cut), rng, "cut " + std::to_string(cut));
  }
  // The end of the bit stream leaves a few padding bits in its last byte:
  // a longer length decodes them as whatever codes they spell, then stops.
  const Outcome walk = Walk(tree, full + 100, bits);
  EXPECT_EQ(walk.status, SoundDecodeStatus::kTruncated);
  EXPECT_GE(walk.bytes.size(), wav.size());
}

// A tree the recorder would write, with some children replaced: by indices
// outside the table, by the root or an inner node (cycles), or by leaves.
Tree Vandalise(Tree tree, std::mt19937& rng, int changes) {
  const int32_t outside[] = {-1, -2, 511, 512, 1000, INT32_MIN, INT32_MAX};
  for (int c = 0; c < changes; ++c) {
    const int node = kHuffLeafCount + static_cast<int>(rng() % (kHuffNodeCount - kHuffLeafCount));
    int32_t& child = rng() % 2 ? tree[node].one : tree[node].zero;
    switch (rng() % 4) {
      case 0: child = outside[rng() % std::size(outside)]; break;
      case 1: child = kHuffRoot; break;
      case 2: child = kHuffLeafCount + static_cast<int32_t>(rng() % (kHuffNodeCount - kHuffLeafCount)); break;
      default: child = static_cast<int32_t>(rng() % kHuffLeafCount); break;
    }
  }
  return tree;
}

TEST(SoundTableDecoder, DamagedAndCyclicTreesAgreeWithTheWalk) {
  std::mt19937 rng(77);
  const std::vector<uint8_t> data = SkewedData(rng, 6000, 0.1);
  const std::vector<uint8_t> track = recorder::EncodeSoundTrack(data);
  const Tree good = TreeFromTrack(track);
  const std::span<const uint8_t> bits = BitsOf(track);

  for (int trial = 0; trial < 300; ++trial) {
    const Tree tree = Vandalise(good, rng, 1 + trial % 20);
    const int32_t length = trial % 3 == 0 ? INT32_MAX : static_cast<int32_t>(rng() % 8000);
    ExpectAgree(tree, length, bits, rng, "trial " + std::to_string(trial));
    ExpectAgree(tree, length, bits.first(rng() % bits.size()), rng, "cut trial " + std::to_string(trial));
  }
}

TEST(SoundTableDecoder, RandomTreesAndStreamsAgreeWithTheWalk) {
  std::mt19937 rng(1234);
  for (int trial = 0; trial < 400; ++trial) {
    Tree tree{};
    // Mostly inner indices, so that walks run long; some leaves and some
    // indices outside the table.
    for (HuffNode& node : tree) {
      auto pick = [&]() -> int32_t {
        const uint32_t r = rng() % 100;
        if (r < 3) return static_cast<int32_t>(rng());
        if (r < 6) return -1;
        if (r < 20u + static_cast<uint32_t>(trial % 60)) return static_cast<int32_t>(rng() % kHuffLeafCount);
        return kHuffLeafCount + static_cast<int32_t>(rng() % (kHuffNodeCount - kHuffLeafCount));
      };
      node = {static_cast<int32_t>(rng()), static_cast<int32_t>(rng()), pick(), pick()};
    }
    const std::vector<uint8_t> bits = RandomBytes(rng, rng() % 3000);
    const int32_t length = trial % 4 == 0 ? INT32_MAX : static_cast<int32_t>(rng() % 20000) - 10;
    ExpectAgree(tree, length, bits, rng, "trial " + std::to_string(trial));
  }
}

TEST(SoundTableDecoder, ARootThatLoopsOnItselfReadsEverythingAndWritesNothing) {
  Tree tree{};
  for (HuffNode& node : tree) node = {0, -1, -1, -1};
  tree[kHuffRoot].one = kHuffRoot;
  tree[kHuffRoot].zero = kHuffRoot;
  const std::vector<uint8_t> bits(10000, 0x5a);
  const Outcome table = Table(tree, 5, bits);
  EXPECT_EQ(table.status, SoundDecodeStatus::kTruncated);
  EXPECT_EQ(table.bytesRead, bits.size());
  EXPECT_TRUE(table.bytes.empty());
}

TEST(SoundTableDecoder, AppendsToWhatTheOutputHeld) {
  const std::vector<uint8_t> data = {1, 2, 3, 200, 200, 200};
  const std::vector<uint8_t> track = recorder::EncodeSoundTrack(data);
  std::vector<uint8_t> out = {9, 9};
  ExpandSoundTrack(TreeFromTrack(track), 6, BitsOf(track), out);
  const std::vector<uint8_t> expected = {9, 9, 1, 2, 3, 200, 200, 200};
  EXPECT_EQ(out, expected);
}

}  // namespace
}  // namespace sp
