#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <fontconfig/fontconfig.h>

#include "platform/canvas.h"

// The fonts of the FreeType and fontconfig text drawing; included only by
// the POSIX implementation files.

namespace sp {

// One glyph rendered without anti-aliasing, one bit per pixel, the most
// significant bit leftmost, rows top-down.
struct MonoGlyph {
  int left = 0;  // pen position to the bitmap's left column, pixels
  int top = 0;   // baseline up to the bitmap's top row, pixels
  int width = 0;
  int rows = 0;
  int pitch = 0;    // bytes per row
  int advance = 0;  // pen movement, pixels
  std::vector<uint8_t> bits;

  bool Ink(int x, int y) const {
    return (bits[static_cast<size_t>(y) * pitch + (x >> 3)] >> (7 - (x & 7))) & 1;
  }
};

// Pixel offsets of a font's cell, all measured from the text's top-left
// or its baseline as named.
struct FontMetrics {
  int ascent = 0;        // cell top to baseline
  int height = 0;        // cell height: ascent plus descent
  int underlineTop = 0;  // below the baseline
  int underlineThickness = 1;
  int strikeOutTop = 0;  // above the baseline
  int strikeOutThickness = 1;
};

struct FontFace;

// A font as fontconfig resolves a face name, pixel height and style, plus
// the faces that supply the characters its own face lacks (Chinese in a
// Latin face). Glyphs are rendered once and kept.
class ScaledFont {
 public:
  ScaledFont(const std::string& name, int pixelHeight, FontStyles style);
  ~ScaledFont();
  ScaledFont(const ScaledFont&) = delete;
  ScaledFont& operator=(const ScaledFont&) = delete;

  const FontMetrics& Metrics() const { return metrics_; }
  // The glyph of c from the first face that has it; a character no face
  // has shows the primary face's missing-glyph box.
  const MonoGlyph& Glyph(char32_t c);

 private:
  FontFace* OpenFace(const std::string& file, int index, int weight, int slant);
  FontFace* FallbackFor(char32_t c);
  void ComputeMetrics();

  int pixelHeight_;
  FontStyles style_;
  FcPattern* request_ = nullptr;    // as asked, before fontconfig's substitutions
  FcFontSet* fallbacks_ = nullptr;  // sorted on the first missing glyph
  bool fallbacksSorted_ = false;
  std::vector<std::unique_ptr<FontFace>> faces_;
  FontFace* primary_ = nullptr;  // the match for the name; null without fonts
  FontMetrics metrics_;
  std::unordered_map<char32_t, MonoGlyph> glyphs_;
};

// The fonts drawn so far, by face name, pixel height and the styles that
// choose a face (bold, italic). GUI thread only.
ScaledFont& FindFont(const std::string& name, int pixelHeight, FontStyles style);

}  // namespace sp
