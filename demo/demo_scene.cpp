#include "demo/demo_scene.h"

#include <algorithm>
#include <string>

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "recorder/images.h"
#include "recorder/recording_builder.h"
#include "recorder/test_media.h"

namespace sp::demo {

namespace {

using recorder::CursorPosition;
using recorder::FillRect;

constexpr int kWindowWidth = 420;
constexpr int kWindowHeight = 260;
constexpr int kTitleHeight = 26;
constexpr int kMenuBarHeight = 22;
constexpr const char* kUiFont = "DejaVu Sans";
constexpr const char* kTypedText = "Hello from selfplay!";

struct Scene {
  int windowX = 90;
  int windowY = 120;
  size_t typed = 0;    // characters of kTypedText shown
  bool menuOpen = false;
};

void Text(Bitmap& b, int x, int y, const std::string& utf8, Color color, int size,
          FontStyles style = 0) {
  Canvas& c = b.GetCanvas();
  c.brush.style = BrushStyle::Clear;
  c.font.name = kUiFont;
  c.font.size = size;
  c.font.color = color;
  c.font.style = style;
  c.TextOut(x, y, utf8);
}

void Bevel(Bitmap& b, const Rect& r, Pixel face) {
  FillRect(b, r, 0x808080);
  FillRect(b, {r.left, r.top, r.right - 1, r.bottom - 1}, 0xFFFFFF);
  FillRect(b, {r.left + 1, r.top + 1, r.right - 1, r.bottom - 1}, face);
}

void DrawDesktop(Bitmap& b) {
  // A vertical teal gradient, as a wallpaper.
  for (int y = 0; y < kDesktopHeight - 32; ++y) {
    const int g = 0x70 + y * 0x40 / kDesktopHeight;
    FillRect(b, {0, y, kDesktopWidth, y + 1}, static_cast<Pixel>(0x10 << 16 | g << 8 | (g + 8)));
  }
  const int icons[][2] = {{24, 80}, {24, 170}, {24, 260}};
  const char* names[] = {"Files", "Notes", "Trash"};
  for (int i = 0; i < 3; ++i) {
    Bevel(b, {icons[i][0] + 8, icons[i][1], icons[i][0] + 40, icons[i][1] + 32}, 0xE8D070);
    Text(b, icons[i][0] + 6, icons[i][1] + 36, names[i], kWhite, 9);
  }
  // The task bar.
  Bevel(b, {0, kDesktopHeight - 32, kDesktopWidth, kDesktopHeight}, 0xC0C0C0);
  Bevel(b, {4, kDesktopHeight - 28, 84, kDesktopHeight - 4}, 0xC0C0C0);
  Text(b, 14, kDesktopHeight - 25, "Start", kBlack, 10, kFontBold);
  Bevel(b, {kDesktopWidth - 80, kDesktopHeight - 28, kDesktopWidth - 4, kDesktopHeight - 4},
        0xC0C0C0);
  Text(b, kDesktopWidth - 64, kDesktopHeight - 25, "10:24", kBlack, 10);
}

Rect TextArea(const Scene& s) {
  const int top = s.windowY + kTitleHeight + kMenuBarHeight;
  return {s.windowX + 6, top + 6, s.windowX + kWindowWidth - 6, s.windowY + kWindowHeight - 6};
}

void DrawWindow(Bitmap& b, const Scene& s) {
  const int x = s.windowX;
  const int y = s.windowY;
  FillRect(b, {x + 6, y + 6, x + kWindowWidth + 6, y + kWindowHeight + 6}, 0x204050);  // shadow
  Bevel(b, {x, y, x + kWindowWidth, y + kWindowHeight}, 0xC0C0C0);
  FillRect(b, {x + 3, y + 3, x + kWindowWidth - 3, y + kTitleHeight}, 0x1C3F94);
  Text(b, x + 10, y + 6, "Notes - untitled", kWhite, 10, kFontBold);
  Bevel(b, {x + kWindowWidth - 24, y + 6, x + kWindowWidth - 7, y + kTitleHeight - 3}, 0xC0C0C0);
  Text(b, x + kWindowWidth - 20, y + 6, "x", kBlack, 9, kFontBold);
  const char* menus[] = {"File", "Edit", "Help"};
  for (int i = 0; i < 3; ++i) {
    Text(b, x + 10 + i * 48, y + kTitleHeight + 3, menus[i], kBlack, 10);
  }
  const Rect area = TextArea(s);
  FillRect(b, area, 0xFFFFFF);
  const std::string typed(kTypedText, s.typed);
  Text(b, area.left + 6, area.top + 8, typed, kBlack, 14);
  if (s.menuOpen) {
    const Rect menu{x + 6, y + kTitleHeight + kMenuBarHeight, x + 146,
                    y + kTitleHeight + kMenuBarHeight + 104};
    Bevel(b, menu, 0xE0E0E0);
    FillRect(b, {menu.left + 3, menu.top + 28, menu.right - 3, menu.top + 50}, 0x1C3F94);
    const char* items[] = {"New", "Save", "Save as...", "Quit"};
    for (int i = 0; i < 4; ++i) {
      Text(b, menu.left + 12, menu.top + 6 + i * 24, items[i], i == 1 ? kWhite : kBlack, 10);
    }
  }
}

void Draw(Bitmap& b, const Scene& s) {
  DrawDesktop(b);
  DrawWindow(b, s);
}

}  // namespace

recorder::Recording MakeDemoRecording(std::vector<uint8_t> wav) {
  Bitmap screen(kDesktopWidth, kDesktopHeight);
  Scene scene;
  Draw(screen, scene);
  recorder::RecordingBuilder builder(screen);
  builder.Interval(200).FirstCursor(600, 500);
  if (!wav.empty()) builder.Sound(std::move(wav));

  auto frame = [&](CursorPosition cursor, std::vector<uint8_t> icon = {}) {
    Draw(screen, scene);
    builder.AddFrame(screen, cursor, std::move(icon));
  };
  auto still = [&](int count) {
    for (int i = 0; i < count; ++i) builder.AddFrame(screen);
  };

  // The pointer goes to the title bar, then drags the window across.
  const CursorPosition grip{scene.windowX + 150, scene.windowY + 10};
  frame({(600 + grip.x) / 2, (500 + grip.y) / 2});
  frame(grip);
  const int startX = scene.windowX;
  const int startY = scene.windowY;
  for (int i = 1; i <= 10; ++i) {
    scene.windowX = startX + i * 32;
    scene.windowY = startY + i * 12;
    frame({scene.windowX + 150, scene.windowY + 10});
  }
  still(2);

  // Into the text area: the pointer becomes the text cursor, and typing
  // begins.
  const Rect area = TextArea(scene);
  const CursorPosition caret{area.left + 40, area.top + 12};
  frame({caret.x, caret.y - 40});
  frame(caret, recorder::MakeIconFile(recorder::TextCursor()));
  const size_t total = std::char_traits<char>::length(kTypedText);
  while (scene.typed < total) {
    scene.typed = std::min(total, scene.typed + 2);
    frame(caret);
  }
  still(2);

  // Back to the arrow, up to the menu bar, and the File menu opens.
  const CursorPosition fileMenu{scene.windowX + 20, scene.windowY + kTitleHeight + 6};
  frame({fileMenu.x + 60, fileMenu.y + 40}, recorder::MakeIconFile(recorder::ArrowCursor()));
  frame(fileMenu);
  scene.menuOpen = true;
  frame({fileMenu.x + 10, fileMenu.y + 36});
  still(3);
  scene.menuOpen = false;
  frame({fileMenu.x + 180, fileMenu.y + 120});
  still(2);

  recorder::Recording recording = builder.Build();
  recording.caption.text = "自播放演示：拖动、输入、菜单";
  recording.caption.x = 24;
  recording.caption.y = 16;
  recording.caption.fontSize = 16;
  recording.caption.fontName = "WenQuanYi Zen Hei";
  recording.caption.fontColor = 0x0000FFFF;  // yellow, as 0x00BBGGRR
  recording.caption.bold = 1;
  return recording;
}

}  // namespace sp::demo
