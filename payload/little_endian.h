#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace sp {

// The one place that turns the payload's little-endian bytes into integers
// and back. Every integer of a recording is stored this way.
template <class T>
constexpr T LoadLittleEndian(const uint8_t* p) {
  static_assert(std::is_integral_v<T>);
  using U = std::make_unsigned_t<T>;
  U value = 0;
  for (size_t i = 0; i < sizeof(T); ++i) value |= static_cast<U>(static_cast<U>(p[i]) << (8 * i));
  return static_cast<T>(value);
}

template <class T>
constexpr void StoreLittleEndian(uint8_t* p, T value) {
  static_assert(std::is_integral_v<T>);
  using U = std::make_unsigned_t<T>;
  const U bits = static_cast<U>(value);
  for (size_t i = 0; i < sizeof(T); ++i) p[i] = static_cast<uint8_t>(bits >> (8 * i));
}

// An integer field of an on-disk record: its bytes as stored, so that a
// record of such fields has no padding and the size the file gives it.
template <class T>
struct LittleEndian {
  uint8_t bytes[sizeof(T)];

  constexpr T Get() const { return LoadLittleEndian<T>(bytes); }
  constexpr void Set(T value) { StoreLittleEndian<T>(bytes, value); }
};

using LeInt32 = LittleEndian<int32_t>;
using LeUInt32 = LittleEndian<uint32_t>;
using LeUInt16 = LittleEndian<uint16_t>;

}  // namespace sp
