#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "payload/little_endian.h"

namespace sp::recorder {

template <class T>
LittleEndian<T> Le(T value) {
  LittleEndian<T> le;
  le.Set(value);
  return le;
}

// Appends the payload's little-endian integers and byte runs to a buffer.
class ByteWriter {
 public:
  explicit ByteWriter(std::vector<uint8_t>& out) : out_(out) {}

  size_t Size() const { return out_.size(); }

  void Int32(int32_t value) { Put(Le<int32_t>(value)); }
  void UInt32(uint32_t value) { Put(Le<uint32_t>(value)); }
  void UInt16(uint16_t value) { Put(Le<uint16_t>(value)); }
  void Byte(uint8_t value) { out_.push_back(value); }
  // One of the layout's records, as it lies in the file.
  template <class Record>
  void Put(const Record& record) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
    out_.insert(out_.end(), bytes, bytes + sizeof record);
  }
  void Bytes(std::span<const uint8_t> bytes) { out_.insert(out_.end(), bytes.begin(), bytes.end()); }
  void Text(std::string_view text) { out_.insert(out_.end(), text.begin(), text.end()); }
  void Zeros(size_t count) { out_.insert(out_.end(), count, 0); }

  // Overwrites 4 bytes already written at position.
  void PatchUInt32(size_t position, uint32_t value) {
    StoreLittleEndian<uint32_t>(out_.data() + position, value);
  }

 private:
  std::vector<uint8_t>& out_;
};

}  // namespace sp::recorder
