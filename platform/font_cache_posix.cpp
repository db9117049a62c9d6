#include "platform/font_cache_posix.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <tuple>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

namespace sp {

struct FontFace {
  FT_Face face = nullptr;
  std::string file;
  int index = 0;
  // The face lacks the weight or slant asked for, so the glyphs are made
  // bold or oblique by FreeType.
  bool embolden = false;
  bool oblique = false;

  ~FontFace() {
    if (face) FT_Done_Face(face);
  }
};

namespace {

// The slant of synthesised italics, as a shear: x += y * 0.2126 (12 degrees),
// in 16.16 fixed point.
constexpr FT_Fixed kObliqueShear = 0x0366A;
// Where characters missing from the chosen face come from on a Chinese system.
constexpr const char* kFallbackLanguage = "zh-cn";

int RoundPixels(FT_Pos value26_6) { return static_cast<int>((value26_6 + 32) >> 6); }

class FontLibrary {
 public:
  static FontLibrary& Get() {
    static FontLibrary library;
    return library;
  }

  FT_Library freetype = nullptr;
  // Our own configuration, apart from any toolkit's in the same process, so
  // that it can be freed whole at exit.
  FcConfig* config = nullptr;
  std::map<std::tuple<std::string, int, int>, std::unique_ptr<ScaledFont>> fonts;

 private:
  FontLibrary() {
    config = FcInitLoadConfigAndFonts();
    if (FT_Init_FreeType(&freetype) != 0) freetype = nullptr;
  }
  ~FontLibrary() {
    fonts.clear();  // they hold the configuration's patterns and the library's faces
    if (config) FcConfigDestroy(config);
    if (freetype) FT_Done_FreeType(freetype);
  }
};

FcConfig* Config() { return FontLibrary::Get().config; }

FcPattern* Substituted(const FcPattern* request) {
  FcPattern* pattern = FcPatternDuplicate(request);
  if (!pattern) return nullptr;
  FcConfigSubstitute(Config(), pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  return pattern;
}

struct FontFile {
  const char* path = nullptr;
  int index = 0;
  int weight = FC_WEIGHT_REGULAR;
  int slant = FC_SLANT_ROMAN;
};

bool ReadFontFile(const FcPattern* font, FontFile& file) {
  FcChar8* path = nullptr;
  if (FcPatternGetString(font, FC_FILE, 0, &path) != FcResultMatch) return false;
  file.path = reinterpret_cast<const char*>(path);
  // Variable fonts give ranges here; those read as the defaults.
  FcPatternGetInteger(font, FC_INDEX, 0, &file.index);
  FcPatternGetInteger(font, FC_WEIGHT, 0, &file.weight);
  FcPatternGetInteger(font, FC_SLANT, 0, &file.slant);
  return true;
}

// One glyph slot's bitmap as one bit per pixel; grey and colour bitmaps
// (embedded strikes) count as ink from half coverage up.
void CopyBitmap(const FT_Bitmap& bitmap, MonoGlyph& glyph) {
  glyph.width = static_cast<int>(bitmap.width);
  glyph.rows = static_cast<int>(bitmap.rows);
  glyph.pitch = (glyph.width + 7) / 8;
  glyph.bits.assign(static_cast<size_t>(glyph.pitch) * glyph.rows, 0);
  const int stride = std::abs(bitmap.pitch);
  for (int y = 0; y < glyph.rows; ++y) {
    // A negative pitch stores the rows bottom-up.
    const uint8_t* in =
        bitmap.buffer + static_cast<size_t>(bitmap.pitch >= 0 ? y : glyph.rows - 1 - y) * stride;
    uint8_t* out = glyph.bits.data() + static_cast<size_t>(y) * glyph.pitch;
    for (int x = 0; x < glyph.width; ++x) {
      bool ink = false;
      switch (bitmap.pixel_mode) {
        case FT_PIXEL_MODE_MONO:
          ink = (in[x >> 3] >> (7 - (x & 7))) & 1;
          break;
        case FT_PIXEL_MODE_GRAY:
          ink = in[x] >= 128;
          break;
        case FT_PIXEL_MODE_BGRA:
          ink = in[4 * x + 3] >= 128;
          break;
        default:
          break;
      }
      if (ink) out[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
    }
  }
}

void RenderGlyph(const FontFace& face, FT_UInt index, MonoGlyph& glyph) {
  FT_Int32 flags = FT_LOAD_TARGET_MONO;
  // Embedded bitmaps would ignore the shear.
  if (face.oblique) flags |= FT_LOAD_NO_BITMAP;
  if (FT_Load_Glyph(face.face, index, flags) != 0) return;
  FT_GlyphSlot slot = face.face->glyph;
  if (face.embolden) FT_GlyphSlot_Embolden(slot);
  if (slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) {
    return;
  }
  glyph.advance = RoundPixels(slot->advance.x);
  glyph.left = slot->bitmap_left;
  glyph.top = slot->bitmap_top;
  CopyBitmap(slot->bitmap, glyph);
}

}  // namespace

ScaledFont::ScaledFont(const std::string& name, int pixelHeight, FontStyles style)
    : pixelHeight_(pixelHeight), style_(style) {
  request_ = FcPatternCreate();
  if (request_) {
    if (!name.empty()) {
      FcPatternAddString(request_, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
    }
    FcPatternAddInteger(request_, FC_WEIGHT,
                        (style & kFontBold) ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(request_, FC_SLANT,
                        (style & kFontItalic) ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddDouble(request_, FC_PIXEL_SIZE, pixelHeight);
    if (FcPattern* pattern = Substituted(request_)) {
      FcResult result;
      if (FcPattern* match = FcFontMatch(Config(), pattern, &result)) {
        FontFile file;
        if (ReadFontFile(match, file)) {
          primary_ = OpenFace(file.path, file.index, file.weight, file.slant);
        }
        FcPatternDestroy(match);
      }
      FcPatternDestroy(pattern);
    }
  }
  ComputeMetrics();
}

ScaledFont::~ScaledFont() {
  if (fallbacks_) FcFontSetDestroy(fallbacks_);
  if (request_) FcPatternDestroy(request_);
}

FontFace* ScaledFont::OpenFace(const std::string& file, int index, int weight, int slant) {
  for (auto& face : faces_) {
    if (face->file == file && face->index == index) return face.get();
  }
  FT_Library library = FontLibrary::Get().freetype;
  if (!library) return nullptr;
  auto face = std::make_unique<FontFace>();
  if (FT_New_Face(library, file.c_str(), index, &face->face) != 0) {
    face->face = nullptr;
    return nullptr;
  }
  FT_Face ft = face->face;
  if (FT_IS_SCALABLE(ft)) {
    // The height is the em square, as a negative height asks of GDI.
    if (FT_Set_Pixel_Sizes(ft, 0, static_cast<FT_UInt>(pixelHeight_)) != 0) return nullptr;
  } else if (ft->num_fixed_sizes > 0) {
    int best = 0;
    for (int i = 1; i < ft->num_fixed_sizes; ++i) {
      if (std::abs(ft->available_sizes[i].height - pixelHeight_) <
          std::abs(ft->available_sizes[best].height - pixelHeight_)) {
        best = i;
      }
    }
    if (FT_Select_Size(ft, best) != 0) return nullptr;
  } else {
    return nullptr;
  }
  face->file = file;
  face->index = index;
  face->embolden = (style_ & kFontBold) && weight < FC_WEIGHT_DEMIBOLD;
  face->oblique = (style_ & kFontItalic) && slant == FC_SLANT_ROMAN;
  if (face->oblique) {
    FT_Matrix shear{0x10000, kObliqueShear, 0, 0x10000};
    FT_Set_Transform(ft, &shear, nullptr);
  }
  faces_.push_back(std::move(face));
  return faces_.back().get();
}

FontFace* ScaledFont::FallbackFor(char32_t c) {
  if (!fallbacksSorted_) {
    fallbacksSorted_ = true;
    FcPattern* pattern = request_ ? FcPatternDuplicate(request_) : nullptr;
    if (pattern) {
      FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(kFallbackLanguage));
      if (FcPattern* substituted = Substituted(pattern)) {
        FcResult result;
        fallbacks_ = FcFontSort(Config(), substituted, FcTrue, nullptr, &result);
        FcPatternDestroy(substituted);
      }
      FcPatternDestroy(pattern);
    }
  }
  if (!fallbacks_) return nullptr;
  for (int i = 0; i < fallbacks_->nfont; ++i) {
    const FcPattern* font = fallbacks_->fonts[i];
    FcCharSet* charset = nullptr;
    if (FcPatternGetCharSet(font, FC_CHARSET, 0, &charset) != FcResultMatch ||
        !FcCharSetHasChar(charset, c)) {
      continue;
    }
    FontFile file;
    if (!ReadFontFile(font, file)) continue;
    FontFace* face = OpenFace(file.path, file.index, file.weight, file.slant);
    if (face && FT_Get_Char_Index(face->face, c) != 0) return face;
  }
  return nullptr;
}

const MonoGlyph& ScaledFont::Glyph(char32_t c) {
  auto found = glyphs_.find(c);
  if (found != glyphs_.end()) return found->second;

  MonoGlyph glyph;
  FontFace* face = primary_;
  FT_UInt index = face ? FT_Get_Char_Index(face->face, c) : 0;
  if (index == 0) {
    if (FontFace* fallback = FallbackFor(c)) {
      face = fallback;
      index = FT_Get_Char_Index(face->face, c);
    }
  }
  if (face) RenderGlyph(*face, index, glyph);
  return glyphs_.emplace(c, std::move(glyph)).first->second;
}

void ScaledFont::ComputeMetrics() {
  FontMetrics& m = metrics_;
  if (!primary_) {
    // Nothing to draw with; keep the layout of a common sans face.
    m.ascent = pixelHeight_ * 4 / 5;
    m.height = pixelHeight_;
    m.underlineTop = 1;
    m.strikeOutTop = m.ascent / 3;
    return;
  }
  FT_Face face = primary_->face;
  const FT_Size_Metrics& size = face->size->metrics;
  m.ascent = std::max(RoundPixels(size.ascender), 0);
  const int descent = std::max(RoundPixels(-size.descender), 0);
  m.height = std::max(m.ascent + descent, 1);

  m.underlineThickness = std::max(1, pixelHeight_ / 14);
  m.underlineTop = descent / 2;
  m.strikeOutThickness = m.underlineThickness;
  m.strikeOutTop = m.ascent / 3 + m.strikeOutThickness / 2;
  if (FT_IS_SCALABLE(face)) {
    const FT_Fixed scale = size.y_scale;
    const FT_Pos thickness = FT_MulFix(face->underline_thickness, scale);
    if (thickness > 0) m.underlineThickness = std::max(1, RoundPixels(thickness));
    // FreeType gives the centre of the stroke, negative below the baseline.
    const FT_Pos centre = FT_MulFix(face->underline_position, scale);
    if (centre < 0) m.underlineTop = RoundPixels(-centre - thickness / 2);

    auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF && os2->yStrikeoutSize > 0 && os2->yStrikeoutPosition > 0) {
      // OS/2 gives the top of the stroke above the baseline.
      m.strikeOutThickness = std::max(1, RoundPixels(FT_MulFix(os2->yStrikeoutSize, scale)));
      m.strikeOutTop = RoundPixels(FT_MulFix(os2->yStrikeoutPosition, scale));
    }
  }
  // Both strokes stay inside the cell.
  m.underlineThickness = std::min(m.underlineThickness, std::max(descent, 1));
  m.underlineTop = std::clamp(m.underlineTop, 0, std::max(descent - m.underlineThickness, 0));
  m.strikeOutThickness = std::min(m.strikeOutThickness, std::max(m.ascent, 1));
  m.strikeOutTop =
      std::clamp(m.strikeOutTop, m.strikeOutThickness, std::max(m.ascent, m.strikeOutThickness));
}

ScaledFont& FindFont(const std::string& name, int pixelHeight, FontStyles style) {
  const FontStyles faceStyle = style & (kFontBold | kFontItalic);
  auto& fonts = FontLibrary::Get().fonts;
  auto key = std::make_tuple(name, pixelHeight, static_cast<int>(faceStyle));
  auto found = fonts.find(key);
  if (found != fonts.end()) return *found->second;
  auto font = std::make_unique<ScaledFont>(name, pixelHeight, faceStyle);
  return *fonts.emplace(std::move(key), std::move(font)).first->second;
}

}  // namespace sp
