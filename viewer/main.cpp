// selfplay-view: opens a self-playing recording (or a bare payload) and
// moves through it freely, with its sound in step.
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "viewer/viewer_window.h"

namespace {

constexpr const char* kHelp =
    "Usage: selfplay-view [FILE...]\n"
    "\n"
    "Plays a self-playing screen recording (Linux or Windows stub, or a bare\n"
    "payload) and moves through it freely, with its sound in step.\n"
    "\n"
    "Keys:\n"
    "  Space, click        play / pause\n"
    "  Left / Right        5 seconds back / forward\n"
    "  Shift+Left / Right  1 minute back / forward\n"
    "  Home / End          start / end\n"
    "  , / .               one frame back / forward (pauses)\n"
    "  [ / ]               previous / next scene mark\n"
    "  - / +               slower / faster: 0.5x 0.75x 1x 1.25x 1.5x 2x 3x 4x\n"
    "  I                   skip idle stretches on / off\n"
    "  M                   mute; mouse wheel over the picture: volume\n"
    "  1                   actual size / fit to the window\n"
    "  F, double click     full screen; Esc leaves it\n"
    "  PageDown / PageUp   next / previous of the files given\n"
    "  Ctrl+O              open a file (or drop one on the window)\n"
    "  Ctrl+Q              quit\n";

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kHelp, stdout);
      return 0;
    }
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("selfplay-view");
  const QStringList args = QApplication::arguments();
  QStringList files;
  for (int i = 1; i < args.size(); ++i) {
    if (args[i].startsWith("--")) {
      std::fprintf(stderr, "selfplay-view: unknown option %s (see --help)\n", qPrintable(args[i]));
      return 2;
    }
    files << args[i];
  }
  sp::view::ViewerWindow window;
  window.show();
  if (!files.isEmpty()) {
    QTimer::singleShot(0, &window, [&window, files] { window.OpenFiles(files); });
  }
  return app.exec();
}
