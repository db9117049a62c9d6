// selfplay-view: opens self-playing recordings (or bare payloads) and moves
// through them freely, with their sound in step.
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <string>
#include <vector>

#include "viewer/command_line.h"
#include "viewer/viewer_window.h"

namespace {

int Answer(const sp::view::CommandLine& line) {
  switch (line.action) {
    case sp::view::CommandLine::Action::kHelp: std::fputs(sp::view::HelpText(), stdout); return 0;
    case sp::view::CommandLine::Action::kVersion: std::puts(sp::view::VersionText().c_str()); return 0;
    case sp::view::CommandLine::Action::kError:
    case sp::view::CommandLine::Action::kUnknownOption:
      std::fprintf(stderr, "selfplay-view: %s (see --help)\n", line.error.c_str());
      return 2;
    case sp::view::CommandLine::Action::kRun: break;
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  // Help, version and a wrong value are answered without a display. An
  // unknown option may be one of Qt's (-platform ...), which QApplication
  // takes out: it is judged after.
  const sp::view::CommandLine early = sp::view::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (early.action != sp::view::CommandLine::Action::kUnknownOption) {
    if (const int status = Answer(early); status >= 0) return status;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("selfplay-view");
  std::vector<std::string> args;
  for (const QString& arg : QApplication::arguments().mid(1)) args.push_back(arg.toStdString());
  const sp::view::CommandLine line = sp::view::ParseCommandLine(args);
  if (const int status = Answer(line); status >= 0) return status;

  const sp::view::ViewerOptions& options = line.options;
  sp::view::ViewerWindow window;
  window.SetSpeed(options.speed);
  window.SetMuted(options.mute);
  window.SetLoop(options.loop);
  if (options.startMilliseconds) window.StartAt(*options.startMilliseconds);
  window.show();
  if (options.fullScreen) window.SetFullScreen(true);
  QStringList files;
  for (const std::string& file : options.files) files << QString::fromStdString(file);
  if (!files.isEmpty()) {
    QTimer::singleShot(0, &window, [&window, files] { window.OpenFiles(files); });
  }
  return app.exec();
}
