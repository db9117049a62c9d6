// The viewer's window driven in process on Qt's off-screen platform: what it
// says about the file it plays (damage, no sound, paused, ended), and what
// its controls do with nothing open.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <SDL.h>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "platform/bitmap.h"
#include "playback/seekable_playback.h"
#include "recorder/payload_writer.h"
#include "recorder/recording_builder.h"
#include "recorder/test_media.h"
#include "tests/media/undecodable_block.h"
#include "viewer/picture_view.h"
#include "viewer/seek_bar.h"
#include "viewer/viewer_window.h"

namespace sp::view {
namespace {

// One application for all the tests, ended before the program's statics are.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[24] = "viewer_controls_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};
[[maybe_unused]] ::testing::Environment* const kQt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// Runs the event loop until `done` holds or the deadline passes.
template <typename Condition>
bool WaitFor(Condition done, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

class ViewerControls : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("selfplay-controls-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    window_ = std::make_unique<ViewerWindow>();
    window_->resize(480, 360);
    window_->show();
  }
  void TearDown() override {
    window_.reset();
    std::filesystem::remove_all(dir_);
  }

  // `frames` frames of 200 ms, each with a block of its own; 64 x 48.
  std::filesystem::path Write(const char* name, int frames, int seed = 3,
                              const std::function<void(recorder::Recording&)>& change = {}) {
    Bitmap screen(64, 48);
    recorder::FillTestPattern(screen, seed);
    recorder::RecordingBuilder builder(screen);
    builder.Interval(200).NoCursor();
    for (int k = 1; k < frames; ++k) {
      recorder::FillRect(screen, {k % 8 * 8, 8, k % 8 * 8 + 8, 40}, 0x101010 * (k % 15));
      builder.AddFrame(screen);
    }
    const std::filesystem::path path = dir_ / name;
    recorder::Recording recording = builder.Build();
    if (change) change(recording);
    EXPECT_TRUE(recorder::WriteFile(path.string(), recorder::MakeSelfPlaying(recorder::ZeroStub(), recording)));
    return path;
  }

  void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(window_.get(), &press);
  }

  QAction* Action(const QString& text) const {
    for (QAction* action : window_->findChildren<QAction*>()) {
      if (action->text().startsWith(text)) return action;
    }
    ADD_FAILURE() << "no action " << text.toStdString();
    return nullptr;
  }

  QString LabelText(const char* name) const {
    const auto* label = window_->findChild<QLabel*>(name);
    return label ? label->text() : QString("<no label %1>").arg(name);
  }
  const SeekBar& Bar() const { return *window_->findChild<SeekBar*>(); }

  std::filesystem::path dir_;
  std::unique_ptr<ViewerWindow> window_;
};

TEST_F(ViewerControls, ACutRecordingSaysWhereItIsDamagedAndTheBarShowsWhereReadingEnds) {
  const auto whole = Write("whole.exe", 40);
  // Cut inside the first block of frame 25.
  std::filesystem::path cut = dir_ / "cut.exe";
  int64_t cutAt = 0;
  {
    auto playback = SeekablePlayback::Open(whole.string());
    const IndexedFrame& frame = playback->Frames()[25];
    ASSERT_GT(frame.blockCount, 0u);
    cutAt = playback->Blocks()[frame.firstBlock].jpeg.offset + 10;
  }
  std::filesystem::copy_file(whole, cut);
  std::filesystem::resize_file(cut, static_cast<uintmax_t>(cutAt));
  const auto expected = SeekablePlayback::Open(cut.string());
  ASSERT_TRUE(expected->Damage());

  ASSERT_TRUE(window_->Open(QString::fromStdString(cut.string())));
  // Said in the status line, not in a box: the item and the offset, as `info` does.
  const QString notice = LabelText("notice");
  EXPECT_TRUE(window_->statusBar()->isVisible());
  EXPECT_TRUE(notice.contains("damaged")) << notice.toStdString();
  EXPECT_TRUE(notice.contains(QString::fromStdString(expected->Damage()->item))) << notice.toStdString();
  EXPECT_TRUE(notice.contains(QString::fromStdString(Thousands(expected->Damage()->offset))))
      << notice.toStdString();
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

  // The bar spans the 40 frames the header claims and ends the reading at frame 24.
  EXPECT_NEAR(Bar().Duration(), 39 * 200, 1);
  EXPECT_NEAR(Bar().ReadableEnd(), 24 * 200, 1);

  // Played to the cut, it says it ended.
  ASSERT_TRUE(WaitFor([&] { return window_->Paused() && LabelText("state") == "Ended"; }))
      << LabelText("state").toStdString() << " at " << window_->PositionMilliseconds();
  EXPECT_NEAR(window_->PositionMilliseconds(), 24 * 200, 1);

  // A block that no picture shows, whose data does not decode: found
  // while idle, paused, and said the same way.
  const auto hidden = Write("hidden.exe", 40, 3, [](recorder::Recording& recording) {
    media_testing::AddCoveredUndecodableBlock(recording, 25, {0, 0, 16, 16});
  });
  ASSERT_TRUE(window_->Open(QString::fromStdString(hidden.string())));
  Key(Qt::Key_Space);
  ASSERT_TRUE(window_->Paused());
  ASSERT_TRUE(WaitFor([&] { return LabelText("notice").contains("frame 25"); }))
      << LabelText("notice").toStdString();
  EXPECT_NEAR(Bar().ReadableEnd(), 24 * 200, 1);
  Key(Qt::Key_End);
  EXPECT_NEAR(window_->PositionMilliseconds(), 24 * 200, 1);

  // A whole recording says nothing of the kind.
  ASSERT_TRUE(window_->Open(QString::fromStdString(whole.string())));
  EXPECT_TRUE(LabelText("notice").isEmpty()) << LabelText("notice").toStdString();
  EXPECT_FALSE(window_->statusBar()->isVisible());
  EXPECT_EQ(Bar().ReadableEnd(), Bar().Duration());
}

TEST_F(ViewerControls, PausedIsSaidBesideTheTimeNotOverThePicture) {
  ASSERT_TRUE(window_->Open(QString::fromStdString(Write("lesson.exe", 10).string())));
  EXPECT_FALSE(window_->Paused());
  EXPECT_EQ(LabelText("state"), "");
  Key(Qt::Key_Space);
  EXPECT_TRUE(window_->Paused());
  EXPECT_EQ(LabelText("state"), "Paused");
  // The picture keeps no banner over it for the pause.
  EXPECT_TRUE(window_->findChild<PictureView*>()->Banner().isEmpty());
  Key(Qt::Key_End);
  EXPECT_EQ(LabelText("state"), "Ended");
  Key(Qt::Key_Space);  // plays again from the start
  EXPECT_FALSE(window_->Paused());
  EXPECT_LT(window_->PositionMilliseconds(), 1000);
}

TEST_F(ViewerControls, OpenOffersEveryFileFirstForTheRecordingsWithoutExtension) {
  const auto linux = Write("lesson", 4);
  QString filter;
  // The dialog is modal: it is answered from the event loop it runs.
  QTimer::singleShot(0, window_.get(), [&] {
    WaitFor([] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) != nullptr; });
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    filter = dialog->selectedNameFilter();
    dialog->selectFile(QString::fromStdString(linux.string()));
    static_cast<QDialog*>(dialog)->accept();  // QFileDialog makes it protected
  });
  Action("&Open")->trigger();
  EXPECT_EQ(filter, "All files (*)");
  EXPECT_TRUE(window_->windowTitle().startsWith("lesson - ")) << window_->windowTitle().toStdString();
}

// A file that cannot be shown is worded as selfplay-tool words it: the
// system's reason, "is not a recording" with the reader's detail, or the
// damage itself for a recording.
TEST_F(ViewerControls, AFileThatCannotBeShownIsWordedAsTheToolWordsIt) {
  const auto refusal = [&](const std::filesystem::path& path) {
    QString text;
    QTimer::singleShot(0, window_.get(), [&] {
      WaitFor([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; });
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      text = box->text();
      box->accept();
    });
    EXPECT_FALSE(window_->Open(QString::fromStdString(path.string())));
    return text.toStdString();
  };
  EXPECT_EQ(refusal(dir_ / "gone.exe"), "gone.exe: No such file or directory");
  std::filesystem::create_directories(dir_ / "folder");
  EXPECT_EQ(refusal(dir_ / "folder"), "folder: Is a directory");
  const std::string text(4000, 'x');
  ASSERT_TRUE(recorder::WriteFile((dir_ / "notes.txt").string(), std::vector<uint8_t>(text.begin(), text.end())));
  EXPECT_EQ(refusal(dir_ / "notes.txt").rfind("notes.txt: is not a recording (", 0), 0u);

  // Cut inside the key frame: the header was read, so this is damage.
  const auto whole = Write("whole.exe", 4);
  int64_t cutAt = 0;
  {
    auto playback = SeekablePlayback::Open(whole.string());
    cutAt = playback->Frames()[0].offset + 20;
  }
  const std::filesystem::path cut = dir_ / "cut.exe";
  std::filesystem::copy_file(whole, cut);
  std::filesystem::resize_file(cut, static_cast<uintmax_t>(cutAt));
  const std::string damage = refusal(cut);
  EXPECT_EQ(damage.rfind("cut.exe: ", 0), 0u) << damage;
  EXPECT_EQ(damage.find("not a recording"), std::string::npos) << damage;
  EXPECT_GT(damage.size(), std::string("cut.exe: ").size());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(ViewerControls, WithNothingOpenTheControlsDoNothing) {
  auto* play = window_->findChild<QToolButton*>("play");
  ASSERT_NE(play, nullptr);
  EXPECT_FALSE(play->isEnabled());
  EXPECT_FALSE(Action("Play / pause")->isEnabled());
  const bool paused = window_->Paused();
  Key(Qt::Key_Space);
  Key(Qt::Key_Plus);
  Key(Qt::Key_M);
  EXPECT_EQ(window_->Paused(), paused);
  EXPECT_EQ(window_->Speed(), 1.0);
  EXPECT_EQ(LabelText("volume"), "Vol 100%");
  EXPECT_EQ(LabelText("state"), "");
  EXPECT_FALSE(window_->findChild<PictureView*>()->Banner().isEmpty());

  ASSERT_TRUE(window_->Open(QString::fromStdString(Write("lesson.exe", 4).string())));
  EXPECT_TRUE(play->isEnabled());
  EXPECT_TRUE(Action("Play / pause")->isEnabled());
}

TEST_F(ViewerControls, TheFilesGivenOpenOneAfterAnotherWithPageDownAndPageUp) {
  const auto one = Write("one.exe", 4, 3);
  const auto two = Write("two.exe", 4, 4);
  const auto three = Write("three.exe", 4, 5);
  window_->OpenFiles({QString::fromStdString(one.string()), QString::fromStdString(two.string()),
                      QString::fromStdString(three.string())});
  auto title = [&] { return window_->windowTitle().section(" - ", 0, 0).toStdString(); };
  EXPECT_EQ(title(), "one.exe");
  Key(Qt::Key_PageDown);
  EXPECT_EQ(title(), "two.exe");
  Key(Qt::Key_PageDown);
  Key(Qt::Key_PageDown);  // past the last: stays
  EXPECT_EQ(title(), "three.exe");
  Key(Qt::Key_PageUp);
  EXPECT_EQ(title(), "two.exe");
}

TEST_F(ViewerControls, WithoutASoundOutputItSaysSoAndTheWheelUnmutes) {
  Bitmap screen(64, 48);
  recorder::FillTestPattern(screen, 7);
  recorder::RecordingBuilder builder(screen);
  builder.Interval(200).NoCursor().Sound(recorder::ToneWav(2.0));
  builder.AddFrame(screen);
  const auto path = dir_ / "spoken.exe";
  ASSERT_TRUE(recorder::WriteFile(path.string(), recorder::MakeSelfPlaying(recorder::ZeroStub(), builder.Build())));

  // An audio driver that does not exist stands for a machine without sound.
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  const bool opened = window_->Open(QString::fromStdString(path.string()));
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  ASSERT_TRUE(opened);
  EXPECT_EQ(LabelText("volume"), "No sound");
  EXPECT_TRUE(LabelText("notice").startsWith("No sound output")) << LabelText("notice").toStdString();
  EXPECT_TRUE(window_->statusBar()->isVisible());

  // With a device, the wheel turned while muted brings the sound back.
  ASSERT_TRUE(window_->Open(QString::fromStdString(path.string())));
  EXPECT_TRUE(LabelText("notice").isEmpty()) << LabelText("notice").toStdString();
  Key(Qt::Key_M);
  EXPECT_EQ(LabelText("volume"), "Muted");
  QWheelEvent wheel(QPointF(100, 100), QPointF(100, 100), {}, QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(window_->findChild<PictureView*>(), &wheel);
  EXPECT_EQ(LabelText("volume"), "Vol 95%");
}

TEST_F(ViewerControls, SIsSavedBesideTheFileAndNeverOverAnother) {
  const auto path = Write("lesson.exe", 10);
  ASSERT_TRUE(window_->Open(QString::fromStdString(path.string())));
  Key(Qt::Key_Space);
  Key(Qt::Key_Home);
  Key(Qt::Key_Period);  // frame 1, at 0.2 s
  Key(Qt::Key_S);
  Key(Qt::Key_S);
  const auto first = dir_ / "lesson-00-00-00.200.png";
  const auto second = dir_ / "lesson-00-00-00.200-2.png";
  ASSERT_TRUE(std::filesystem::exists(first));
  ASSERT_TRUE(std::filesystem::exists(second));

  // The picture itself, at the recording's size, not the window's.
  auto playback = SeekablePlayback::Open(path.string());
  const Bitmap& expected = playback->PictureAt(playback->TickAt(200));
  const QImage saved(QString::fromStdString(first.string()));
  ASSERT_EQ(saved.size(), QSize(expected.Width(), expected.Height()));
  for (int y = 0; y < saved.height(); y += 7) {
    for (int x = 0; x < saved.width(); x += 5) {
      ASSERT_EQ(saved.pixel(x, y) & 0xFFFFFF, expected.Data()[y * expected.Width() + x] & 0xFFFFFF) << x << "," << y;
    }
  }
  EXPECT_EQ(QImage(QString::fromStdString(second.string())), saved);
}

TEST_F(ViewerControls, TheCommandLinesStartSpeedMuteAndLoop) {
  window_->StartAt(1000);
  window_->SetSpeed(1.3);
  window_->SetMuted(true);
  ASSERT_TRUE(window_->Open(QString::fromStdString(Write("lesson.exe", 20).string())));
  EXPECT_GE(window_->PositionMilliseconds(), 1000);
  EXPECT_LT(window_->PositionMilliseconds(), 1500);
  EXPECT_EQ(window_->Speed(), 1.3);
  EXPECT_EQ(LabelText("volume"), "Muted");
  Key(Qt::Key_Plus);
  EXPECT_EQ(window_->Speed(), 1.5);
  Key(Qt::Key_Minus);
  Key(Qt::Key_Minus);
  EXPECT_EQ(window_->Speed(), 1.0);
  // The start was for that file only.
  ASSERT_TRUE(window_->Open(QString::fromStdString(Write("again.exe", 20).string())));
  EXPECT_LT(window_->PositionMilliseconds(), 500);

  // Looping, the end plays on from the start instead of stopping.
  window_->SetLoop(true);
  window_->SetSpeed(4);
  ASSERT_TRUE(window_->Open(QString::fromStdString(Write("short.exe", 4).string())));
  double latest = 0;
  EXPECT_TRUE(WaitFor([&] {
    const double now = window_->PositionMilliseconds();
    const bool wrapped = now + 200 < latest;
    latest = std::max(latest, now);
    return wrapped;
  })) << latest;
  EXPECT_FALSE(window_->Paused());
}

}  // namespace
}  // namespace sp::view
