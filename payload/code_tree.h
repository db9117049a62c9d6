#pragma once

#include <array>
#include <string>

#include "payload/layout.h"

namespace sp {

using CodeTree = std::array<HuffNode, kHuffNodeCount>;

// Empty when the nodes reachable from the root form a proper binary tree:
// every inner node has two children inside the table and no node is reached
// twice. Otherwise a sentence naming the first faulty node.
std::string CheckCodeTree(const CodeTree& tree);

}  // namespace sp
