// Opening by a drop: xdotool cannot drag a file onto a window, so the drop
// events a file manager would send are delivered to the viewer's window in
// process, on Qt's off-screen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "platform/bitmap.h"
#include "recorder/payload_writer.h"
#include "recorder/recording_builder.h"
#include "recorder/test_media.h"
#include "viewer/viewer_window.h"

namespace sp::view {
namespace {

std::filesystem::path WriteRecording(const std::filesystem::path& dir, const char* name,
                                     int seed) {
  Bitmap screen(64, 48);
  recorder::FillTestPattern(screen, seed);
  recorder::RecordingBuilder builder(screen);
  builder.Interval(200).NoCursor();
  recorder::FillRect(screen, {8, 8, 24, 24}, 0x00FF00);
  builder.AddFrame(screen);
  const std::vector<uint8_t> file =
      recorder::MakeSelfPlaying(recorder::ZeroStub(), builder.Build());
  const std::filesystem::path path = dir / name;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  return path;
}

// What a file manager hands over: the file as a local URL, offered for copy.
bool Drop(QWidget& window, const std::vector<std::filesystem::path>& paths) {
  QMimeData data;
  QList<QUrl> urls;
  for (const auto& path : paths) urls << QUrl::fromLocalFile(QString::fromStdString(path.string()));
  data.setUrls(urls);
  const QPoint at(window.width() / 2, window.height() / 2);
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window, &drop);
  return true;
}

bool Drop(QWidget& window, const std::filesystem::path& path) {
  return Drop(window, std::vector<std::filesystem::path>{path});
}

TEST(ViewerDrop, ADroppedRecordingIsOpenedAndASecondReplacesIt) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  int argc = 1;
  char name[] = "viewer_drop_tests";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);

  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("selfplay-drop-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const auto first = WriteRecording(dir, "lesson one.exe", 3);
  const auto second = WriteRecording(dir, "lesson two.exe", 4);

  auto window = std::make_unique<ViewerWindow>();
  window->resize(400, 300);
  window->show();
  EXPECT_EQ(window->windowTitle(), "selfplay-view");

  ASSERT_TRUE(Drop(*window, first));
  EXPECT_TRUE(window->windowTitle().startsWith("lesson one.exe"))
      << window->windowTitle().toStdString();
  ASSERT_TRUE(Drop(*window, second));
  EXPECT_TRUE(window->windowTitle().startsWith("lesson two.exe"))
      << window->windowTitle().toStdString();
  // The second starts from its beginning, not where the first had got to.
  EXPECT_LT(window->PositionMilliseconds(), 1000.0);

  // Dropped together, the first opens and PageDown goes on to the next.
  ASSERT_TRUE(Drop(*window, {first, second}));
  EXPECT_TRUE(window->windowTitle().startsWith("lesson one.exe"))
      << window->windowTitle().toStdString();
  QKeyEvent pageDown(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
  QApplication::sendEvent(window.get(), &pageDown);
  EXPECT_TRUE(window->windowTitle().startsWith("lesson two.exe"))
      << window->windowTitle().toStdString();

  window.reset();
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace sp::view
