#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace sp {

class Bitmap;
class Stream;

// Caps that keep a hostile JPEG from sizing anything large.
constexpr int kMaxImageSide = 16384;

// A JPEG picture held as its bytes, decoded with libjpeg when assigned to a
// bitmap. One object reuses one decompressor for every picture it decodes.
class JpegImage {
 public:
  JpegImage();
  ~JpegImage();
  JpegImage(const JpegImage&) = delete;
  JpegImage& operator=(const JpegImage&) = delete;

  // Takes the bytes from the stream's position to its end and reads the
  // header (JpegError on a fatal libjpeg error).
  void LoadFromStream(Stream& stream);
  int Width() const { return width_; }
  int Height() const { return height_; }

  // Limits for the next decodes: a picture wider or higher than this is
  // rejected as JpegError before it is decompressed.
  void SetMaxSize(int width, int height);

  // Decodes at full size and best quality into bitmap, which takes the
  // picture's size (JpegError with libjpeg's message code on a fatal error).
  // A stream that ends early is completed with an end-of-image marker.
  void AssignTo(Bitmap& bitmap);

 private:
  struct Decoder;
  std::unique_ptr<Decoder> decoder_;
  std::vector<uint8_t> data_;
  int width_ = 0;
  int height_ = 0;
  int maxWidth_ = kMaxImageSide;
  int maxHeight_ = kMaxImageSide;
};

}  // namespace sp
