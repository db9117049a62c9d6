#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace sp::recorder {

// Appends the payload's little-endian integers and byte runs to a buffer.
class ByteWriter {
 public:
  explicit ByteWriter(std::vector<uint8_t>& out) : out_(out) {}

  size_t Size() const { return out_.size(); }

  void Int32(int32_t value) { UInt32(static_cast<uint32_t>(value)); }
  void UInt32(uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
      out_.push_back(static_cast<uint8_t>(value >> shift));
    }
  }
  void UInt16(uint16_t value) {
    out_.push_back(static_cast<uint8_t>(value));
    out_.push_back(static_cast<uint8_t>(value >> 8));
  }
  void Byte(uint8_t value) { out_.push_back(value); }
  void Bytes(std::span<const uint8_t> bytes) { out_.insert(out_.end(), bytes.begin(), bytes.end()); }
  void Text(std::string_view text) { out_.insert(out_.end(), text.begin(), text.end()); }
  void Zeros(size_t count) { out_.insert(out_.end(), count, 0); }

  // Overwrites 4 bytes already written at position.
  void PatchUInt32(size_t position, uint32_t value) {
    for (int i = 0; i < 4; ++i) out_[position + i] = static_cast<uint8_t>(value >> (8 * i));
  }

 private:
  std::vector<uint8_t>& out_;
};

}  // namespace sp::recorder
