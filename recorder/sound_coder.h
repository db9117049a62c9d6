#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "payload/layout.h"

namespace sp::recorder {

using HuffTree = std::array<HuffNode, kHuffNodeCount>;

// The recorder's Huffman tree over byte counts: leaf weights are the counts,
// inner node 256 + i joins the two lightest nodes not yet joined, the lighter
// is the zero child, and of equal weights the lower index is the zero child.
HuffTree BuildHuffmanTree(const std::array<uint32_t, 256>& counts);

// The sound-track item: 511 nodes, the decoded length, then the bit stream,
// most significant bit first.
std::vector<uint8_t> EncodeSoundTrack(std::span<const uint8_t> wav);

// A RIFF WAVE file of 8-bit mono PCM.
std::vector<uint8_t> MakeWav8Mono(std::span<const uint8_t> samples, int sampleRate = 11025);

}  // namespace sp::recorder
