#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/bitmap.h"
#include "platform/geometry.h"

namespace sp {

class Icon;

enum class BrushStyle { Solid, Clear };

struct Brush {
  BrushStyle style = BrushStyle::Solid;
  Color color = kWhite;
};

enum FontStyle : uint8_t {
  kFontBold = 1 << 0,
  kFontItalic = 1 << 1,
  kFontUnderline = 1 << 2,
  kFontStrikeOut = 1 << 3,
};
using FontStyles = uint8_t;

// Logical pixels per inch of the screen the captions were recorded for.
constexpr int kPixelsPerInch = 96;

struct Font {
  std::string name = "MS Sans Serif";
  int size = 8;  // points; pixel height = size * kPixelsPerInch / 72, rounded
  Color color = kBlack;
  FontStyles style = 0;

  int PixelHeight() const;
};

// Drawing on a bitmap. Every operation clips against the destination bitmap
// through one shared clipping helper; negative and partly outside
// coordinates are ordinary cases.
class Canvas {
 public:
  explicit Canvas(Bitmap& target) : target_(target) {}

  Font font;
  Brush brush;

  Bitmap& Target() { return target_; }
  const Bitmap& Target() const { return target_; }

  // 1:1 copy with the source's top-left at (x, y); an empty bitmap draws nothing.
  void Draw(int x, int y, const Bitmap& source);
  // At the system icon size, each pixel = (screen AND mask) XOR colour.
  void Draw(int x, int y, const Icon& icon);
  // Nearest pixel, no blending ("delete scans").
  void StretchDraw(const Rect& dest, const Bitmap& source);
  // Stretch copy of source's sourceRect into dest; source pixels outside the
  // source bitmap leave the destination unchanged.
  void CopyRect(const Rect& dest, const Canvas& source, const Rect& sourceRect);
  // UTF-8 text with its top-left at (x, y) in the current font, without
  // anti-aliasing; with a solid brush the text's cell is filled first.
  void TextOut(int x, int y, std::string_view utf8);
  Size TextExtent(std::string_view utf8);
  void FillRect(const Rect& r);  // with the brush colour

 private:
  Bitmap& target_;
};

}  // namespace sp
