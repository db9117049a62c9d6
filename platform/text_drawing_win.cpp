// Text drawing with GDI: the text is drawn without smoothing in white on a
// black DIB section the size of its visible part, and every lit pixel
// becomes the ink colour in the bitmap.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "platform/clip.h"
#include "platform/text_drawing.h"
#include "platform/win32/wide.h"

namespace sp {

namespace {

// Faces with the Chinese characters, in the order a Chinese Windows links
// them; the last ones are what Wine finds on a Linux host.
constexpr const wchar_t* kFallbackFaces[] = {
    L"SimSun", L"NSimSun", L"Microsoft YaHei", L"SimHei", L"MS Song",
    L"WenQuanYi Zen Hei", L"WenQuanYi Micro Hei", L"Noto Sans CJK SC", L"Droid Sans Fallback",
};

constexpr WORD kMissingGlyph = 0xFFFF;

class Gdi {
 public:
  static Gdi& Get() {
    static Gdi gdi;
    return gdi;
  }

  HDC dc = nullptr;

  HFONT Font(const std::wstring& face, int emPixels, FontStyles style) {
    auto key = std::make_tuple(face, emPixels, static_cast<int>(style));
    auto found = fonts_.find(key);
    if (found != fonts_.end()) return found->second;
    // A negative height asks for the em height; the face name is cut to
    // what a LOGFONT holds.
    std::wstring name = face.substr(0, LF_FACESIZE - 1);
    HFONT font = CreateFontW(-emPixels, 0, 0, 0, (style & kFontBold) ? FW_BOLD : FW_NORMAL,
                             (style & kFontItalic) ? TRUE : FALSE,
                             (style & kFontUnderline) ? TRUE : FALSE,
                             (style & kFontStrikeOut) ? TRUE : FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, name.c_str());
    fonts_.emplace(std::move(key), font);
    return font;
  }

 private:
  Gdi() { dc = CreateCompatibleDC(nullptr); }
  ~Gdi() {
    for (auto& [key, font] : fonts_) {
      if (font) DeleteObject(font);
    }
    if (dc) DeleteDC(dc);
  }

  std::map<std::tuple<std::wstring, int, int>, HFONT> fonts_;
};

// A stretch of the text drawn in one font.
struct Run {
  size_t begin = 0;
  size_t end = 0;
  HFONT font = nullptr;
};

// How many characters of text the selected font lacks, and which.
int MissingGlyphs(HDC dc, const std::wstring& text, size_t begin, size_t end,
                  std::vector<WORD>& glyphs) {
  glyphs.assign(end - begin, 0);
  if (end == begin) return 0;
  if (GetGlyphIndicesW(dc, text.data() + begin, static_cast<int>(end - begin), glyphs.data(),
                       GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR) {
    return 0;
  }
  return static_cast<int>(std::count(glyphs.begin(), glyphs.end(), kMissingGlyph));
}

// The font for text[begin, end), which the primary font lacks: the first
// fallback face that has all of it, else the one that has most.
HFONT FallbackFont(Gdi& gdi, const TextFont& font, const std::wstring& text, size_t begin,
                   size_t end, HFONT primary, int primaryMissing) {
  HFONT best = primary;
  int bestMissing = primaryMissing;
  std::vector<WORD> glyphs;
  for (const wchar_t* face : kFallbackFaces) {
    HFONT candidate = gdi.Font(face, font.emPixels, font.style);
    if (!candidate) continue;
    HGDIOBJ old = SelectObject(gdi.dc, candidate);
    const int missing = MissingGlyphs(gdi.dc, text, begin, end, glyphs);
    SelectObject(gdi.dc, old);
    if (missing < bestMissing) {
      best = candidate;
      bestMissing = missing;
    }
    if (missing == 0) break;
  }
  return best;
}

// The text cut into runs of the primary font and of the faces that supply
// what it lacks.
std::vector<Run> SplitRuns(Gdi& gdi, const TextFont& font, const std::wstring& text,
                           HFONT primary) {
  std::vector<Run> runs;
  if (text.empty()) return runs;
  std::vector<WORD> glyphs;
  HGDIOBJ old = SelectObject(gdi.dc, primary);
  MissingGlyphs(gdi.dc, text, 0, text.size(), glyphs);
  SelectObject(gdi.dc, old);
  for (size_t i = 0; i < text.size();) {
    const bool missing = glyphs[i] == kMissingGlyph;
    size_t j = i + 1;
    while (j < text.size() && (glyphs[j] == kMissingGlyph) == missing) ++j;
    HFONT runFont = primary;
    if (missing) {
      runFont = FallbackFont(gdi, font, text, i, j, primary, static_cast<int>(j - i));
    }
    if (!runs.empty() && runs.back().font == runFont) {
      runs.back().end = j;
    } else {
      runs.push_back({i, j, runFont});
    }
    i = j;
  }
  return runs;
}

struct Layout {
  std::vector<Run> runs;
  std::vector<int64_t> runX;  // each run's pen position from the text's left
  int64_t width = 0;
  int ascent = 0;
  int height = 0;
};

Layout LayOut(const TextFont& font, const std::wstring& text) {
  Gdi& gdi = Gdi::Get();
  Layout layout;
  HFONT primary = gdi.Font(Wide(font.name), font.emPixels, font.style);
  if (!gdi.dc || !primary) return layout;
  HGDIOBJ old = SelectObject(gdi.dc, primary);
  TEXTMETRICW metrics{};
  GetTextMetricsW(gdi.dc, &metrics);
  SelectObject(gdi.dc, old);
  layout.ascent = metrics.tmAscent;
  layout.height = metrics.tmHeight;
  layout.runs = SplitRuns(gdi, font, text, primary);
  for (const Run& run : layout.runs) {
    layout.runX.push_back(layout.width);
    old = SelectObject(gdi.dc, run.font);
    SIZE extent{};
    GetTextExtentPoint32W(gdi.dc, text.data() + run.begin, static_cast<int>(run.end - run.begin),
                          &extent);
    SelectObject(gdi.dc, old);
    layout.width += extent.cx;
  }
  return layout;
}

}  // namespace

TextCell MeasureText(const TextFont& font, std::string_view utf8) {
  const Layout layout = LayOut(font, Wide(utf8));
  return {layout.width, layout.height};
}

Rect DrawTextInk(Bitmap& target, int x, int y, const TextFont& font, std::string_view utf8,
                 Pixel ink) {
  const std::wstring text = Wide(utf8);
  const Layout layout = LayOut(font, text);
  if (layout.runs.empty()) return {};
  // Italics and some glyphs reach past the cell; a margin of one em keeps
  // their ink.
  const int64_t margin = font.emPixels;
  const Rect visible = ClipBox(Box{int64_t{x} - margin, int64_t{y} - margin,
                                   layout.width + 2 * margin, layout.height + 2 * margin},
                               target.Bounds());
  if (visible.IsEmpty()) return {};

  Gdi& gdi = Gdi::Get();
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = visible.Width();
  info.bmiHeader.biHeight = -visible.Height();  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(gdi.dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!dib || !bits) return {};
  std::memset(bits, 0, static_cast<size_t>(visible.Width()) * visible.Height() * 4);
  HGDIOBJ oldBitmap = SelectObject(gdi.dc, dib);
  SetBkMode(gdi.dc, TRANSPARENT);
  SetTextColor(gdi.dc, RGB(255, 255, 255));
  SetTextAlign(gdi.dc, TA_LEFT | TA_BASELINE | TA_NOUPDATECP);
  // Origin of the text's baseline in the section; the text lies within a
  // few em of the visible part, so these fit GDI's coordinates.
  const int64_t baseX = int64_t{x} - visible.left;
  const int64_t baseY = int64_t{y} + layout.ascent - visible.top;
  for (size_t i = 0; i < layout.runs.size(); ++i) {
    const Run& run = layout.runs[i];
    const int64_t runLeft = baseX + layout.runX[i];
    HGDIOBJ oldFont = SelectObject(gdi.dc, run.font);
    ExtTextOutW(gdi.dc, static_cast<int>(runLeft), static_cast<int>(baseY), 0, nullptr,
                text.data() + run.begin, static_cast<UINT>(run.end - run.begin), nullptr);
    SelectObject(gdi.dc, oldFont);
  }
  GdiFlush();

  Rect touched;
  const auto* lit = static_cast<const uint32_t*>(bits);
  for (int row = 0; row < visible.Height(); ++row) {
    const uint32_t* in = lit + static_cast<size_t>(row) * visible.Width();
    Pixel* out = target.Row(visible.top + row) + visible.left;
    for (int col = 0; col < visible.Width(); ++col) {
      if ((in[col] & 0x00FFFFFF) == 0) continue;
      out[col] = ink;
      touched = touched.Union(Rect{visible.left + col, visible.top + row, visible.left + col + 1,
                                   visible.top + row + 1});
    }
  }
  SelectObject(gdi.dc, oldBitmap);
  DeleteObject(dib);
  return touched;
}

}  // namespace sp
