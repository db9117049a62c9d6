#pragma once

#include <cstddef>
#include <cstdint>

namespace sp {

// Where the recording begins in the player's own file: the size of the
// player stub. A recorder appends the payload to an unchanged stub.
constexpr uint32_t PAYLOAD_OFFSET = 495616;

// The sound track's code tree: nodes 0..255 are the leaves for the byte
// values, 256..509 the inner nodes, 510 the root.
constexpr int kHuffNodeCount = 511;
constexpr int kHuffLeafCount = 256;
constexpr int kHuffRoot = 510;

struct HuffNode {
  int32_t weight;
  int32_t parent;
  int32_t one;   // child on a 1 bit; -1 in a leaf
  int32_t zero;  // child on a 0 bit; -1 in a leaf
};

constexpr size_t kHuffTreeBytes = kHuffNodeCount * 16;  // 8,176
constexpr size_t kVideoHeaderBytes = 40;
constexpr size_t kSkippedFieldBytes = 40;  // two 20-byte fields behind the header
constexpr size_t kCaptionStyleBytes = 80;
constexpr size_t kCaptionTextBytes = 40;
constexpr size_t kFontNameBytes = 20;

// The largest recorded screen side the player accepts.
constexpr int kMaxFrameSide = 16384;
// The frame clock ticks at most every 40 ms; a shorter interval gives no tick.
constexpr int kMinFrameInterval = 40;

}  // namespace sp
