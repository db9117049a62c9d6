#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "platform/geometry.h"

namespace sp {

class Canvas;

// 0x00RRGGBB; the high byte is always 0.
using Pixel = uint32_t;
// 0x00BBGGRR, the colour type of fonts and brushes.
using Color = uint32_t;

constexpr Pixel kWhitePixel = 0x00FFFFFF;
constexpr Color kWhite = 0x00FFFFFF;
constexpr Color kBlack = 0x00000000;

Pixel ColorToPixel(Color c);
Color PixelToColor(Pixel p);

// A 32-bit picture, rows top-down, one pitch (= width). Its canvas draws on
// it; every canvas operation adds the rectangle it touched to the dirty
// rectangle, which a back end takes to repaint only what changed.
class Bitmap {
 public:
  Bitmap();
  Bitmap(int width, int height);  // filled white
  ~Bitmap();
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool IsEmpty() const { return width_ <= 0 || height_ <= 0; }
  Rect Bounds() const { return {0, 0, width_, height_}; }

  // A new size keeps the old pixels at the top-left and fills the rest
  // white; a side of 0 or less leaves the bitmap empty (0 x 0 pixels held,
  // the other side remembered as set).
  void SetWidth(int width);
  void SetHeight(int height);
  void SetSize(int width, int height);
  // For a writer that is about to set every pixel (a decoder): the new size
  // without the white fill or the kept pixels, which it would overwrite. The
  // pixels hold no defined value until written.
  void SetSizeForOverwrite(int width, int height);

  Pixel* Row(int y) { return pixels_.data() + static_cast<size_t>(y) * width_; }
  const Pixel* Row(int y) const { return pixels_.data() + static_cast<size_t>(y) * width_; }
  Pixel At(int x, int y) const { return Row(y)[x]; }
  void Set(int x, int y, Pixel p) { Row(y)[x] = p; }
  Pixel* Data() { return pixels_.data(); }
  const Pixel* Data() const { return pixels_.data(); }

  Canvas& GetCanvas();

  void MarkDirty(const Rect& r);
  void MarkAllDirty() { MarkDirty(Bounds()); }
  // Returns the rectangle changed since the last call and clears it.
  Rect TakeDirty();
  Rect Dirty() const { return dirty_; }

 private:
  // Leaves a new element uninitialised, so that sizing a bitmap for a
  // decoder does not write every pixel twice; Resize fills what it keeps.
  //
  // The pixels start 16 bytes past a 64-byte boundary. libjpeg-turbo writes
  // a row that starts on a 32-byte boundary with non-temporal stores, which
  // send it past the cache to memory; a decoded picture is read again at
  // once (its spare bytes cleared, then pasted, compared or presented), so
  // rows are kept off that boundary wherever the width allows.
  template <typename T>
  struct PixelAllocator {
    using value_type = T;
    static constexpr size_t kAlignment = 64;
    static constexpr size_t kLeadBytes = 16;

    PixelAllocator() = default;
    template <typename U>
    PixelAllocator(const PixelAllocator<U>&) noexcept {}

    // The pixels start up to 64 bytes into a block of the plain heap; how
    // far is kept in the byte before them. (An aligned new made the
    // player's peak memory 3 MB larger at 1920 x 1080.)
    T* allocate(size_t n) {
      if (n > (static_cast<size_t>(-1) - kAlignment) / sizeof(T)) throw std::bad_array_new_length();
      auto* block = static_cast<unsigned char*>(::operator new(n * sizeof(T) + kAlignment));
      const auto address = reinterpret_cast<uintptr_t>(block);
      size_t lead = (kAlignment + kLeadBytes - address % kAlignment) % kAlignment;
      if (lead == 0) lead = kAlignment;
      block[lead - 1] = static_cast<unsigned char>(lead);
      return reinterpret_cast<T*>(block + lead);
    }
    void deallocate(T* p, size_t) noexcept {
      auto* pixels = reinterpret_cast<unsigned char*>(p);
      ::operator delete(pixels - pixels[-1]);
    }

    template <typename U>
    void construct(U* p) noexcept {
      ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
      ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    template <typename U>
    bool operator==(const PixelAllocator<U>&) const noexcept {
      return true;
    }
  };
  enum class Fill { kWhiteRest, kNone };

  void Resize(int width, int height, Fill fill);

  int width_ = 0;
  int height_ = 0;
  std::vector<Pixel, PixelAllocator<Pixel>> pixels_;
  Rect dirty_;
  std::unique_ptr<Canvas> canvas_;
};

}  // namespace sp
