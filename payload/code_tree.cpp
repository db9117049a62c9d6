#include "payload/code_tree.h"

#include <vector>

namespace sp {

std::string CheckCodeTree(const CodeTree& tree) {
  std::array<bool, kHuffNodeCount> reached{};
  std::vector<int> pending{kHuffRoot};
  reached[kHuffRoot] = true;
  while (!pending.empty()) {
    const int node = pending.back();
    pending.pop_back();
    if (node < kHuffLeafCount) continue;
    for (const int32_t child : {tree[node].one, tree[node].zero}) {
      if (child < 0 || child >= kHuffNodeCount) {
        return "node " + std::to_string(node) + " has the child " + std::to_string(child) +
               ", outside the 511 nodes";
      }
      if (reached[child]) {
        return "node " + std::to_string(child) + " is reached twice (again from node " +
               std::to_string(node) + ")";
      }
      reached[child] = true;
      pending.push_back(child);
    }
  }
  return {};
}

}  // namespace sp
