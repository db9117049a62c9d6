#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/geometry.h"

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
  // The same for a part of the picture alone (clamped to it): bitmap takes
  // the part's size and holds exactly what AssignTo gives there. The rows
  // below the part are still read through, without being decoded into
  // pixels, so a picture that fails there fails here too.
  void AssignPartTo(Bitmap& bitmap, const Rect& part);
  // Decodes a part of the picture straight onto target, its top-left at
  // (x, y), clipped to target: the pixels that assigning the part to a
  // bitmap and drawing that there would give, without the bitmap. Marks
  // what it wrote dirty. On a failure the part's rows the decode did not
  // reach are made white.
  void DrawPart(Bitmap& target, int x, int y, const Rect& part);
  // Reads the whole picture through without keeping a pixel: it fails
  // where AssignTo would, at a fraction of the cost.
  void Check();

 private:
  struct Decoder;

  // Readies the decompressor for the loaded picture and returns its size.
  Size StartDecode();
  // Decodes part (inside the picture) into target at (x, y) (inside
  // target), after StartDecode.
  void DecodeInto(const Rect& part, Bitmap& target, int x, int y);
  void AbortDecode();

  std::unique_ptr<Decoder> decoder_;
  std::vector<uint8_t> data_;
  int width_ = 0;
  int height_ = 0;
  int maxWidth_ = kMaxImageSide;
  int maxHeight_ = kMaxImageSide;
};

}  // namespace sp
