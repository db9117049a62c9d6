#pragma once

#include <cstddef>
#include <cstdint>

#include "payload/records.h"

namespace sp {

// Where the recording begins in the player's own file: the size of the
// player stub. A recorder appends the payload to an unchanged stub.
constexpr uint32_t PAYLOAD_OFFSET = 495616;

// The sound track's code tree: nodes 0..255 are the leaves for the byte
// values, 256..509 the inner nodes, 510 the root.
constexpr int kHuffNodeCount = 511;
constexpr int kHuffLeafCount = 256;
constexpr int kHuffRoot = 510;

// A node as the decoder holds it, read from a HuffNodeRecord.
struct HuffNode {
  int32_t weight;
  int32_t parent;
  int32_t one;   // child on a 1 bit; -1 in a leaf
  int32_t zero;  // child on a 0 bit; -1 in a leaf
};

constexpr size_t kHuffTreeBytes = kHuffNodeCount * sizeof(HuffNodeRecord);  // 8,176
constexpr size_t kVideoHeaderBytes = sizeof(VideoHeaderRecord);
constexpr size_t kSkippedFieldBytes = sizeof(SkippedFieldsRecord);
constexpr size_t kCaptionStyleBytes = sizeof(CaptionStyleRecord);
constexpr size_t kCaptionTextBytes = sizeof(CaptionStyleRecord::CaptionText);
constexpr size_t kFontNameBytes = sizeof(CaptionStyleRecord::CaptionFontName);

// The largest recorded screen side the player accepts.
constexpr int kMaxFrameSide = 16384;
// The frame clock ticks at most every 40 ms; a shorter interval gives no tick.
constexpr int kMinFrameInterval = 40;

}  // namespace sp
