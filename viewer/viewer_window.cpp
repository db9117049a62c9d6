#include "viewer/viewer_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <utility>

#include "payload/open_fault_words.h"
#include "payload/recording_fault.h"
#include "payload/wav_samples.h"
#include "platform/errors.h"
#include "playback/idle_stretches.h"
#include "playback/scene_marks.h"
#include "viewer/picture_file.h"
#include "viewer/picture_view.h"
#include "viewer/seek_bar.h"

namespace sp::view {

namespace {

QImage Wrap(const Bitmap& bitmap) {
  // 0x00RRGGBB rows, one pitch: Qt's RGB32 as it lies in memory.
  return QImage(reinterpret_cast<const uchar*>(bitmap.Data()), bitmap.Width(), bitmap.Height(),
                bitmap.Width() * 4, QImage::Format_RGB32);
}

// The play and pause signs, drawn: no icon theme is needed.
QPixmap PlaySign(bool play, QColor colour) {
  QPixmap pixmap(44, 44);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setPen(Qt::NoPen);
  painter.setBrush(colour);
  if (play) {
    const QPointF triangle[] = {{12, 8}, {36, 22}, {12, 36}};
    painter.drawPolygon(triangle, 3);
  } else {
    painter.drawRoundedRect(QRectF(11, 8, 8, 28), 2, 2);
    painter.drawRoundedRect(QRectF(25, 8, 8, 28), 2, 2);
  }
  return pixmap;
}

QIcon PlayIcon(bool play) {
  QIcon icon(PlaySign(play, QColor(0xe8, 0xe8, 0xe8)));
  icon.addPixmap(PlaySign(play, QColor(0x6a, 0x6a, 0x6a)), QIcon::Disabled);
  return icon;
}

}  // namespace

ViewerWindow::ViewerWindow() {
  setWindowTitle("selfplay-view");
  setAcceptDrops(true);
  BuildMenus();
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  view_ = new PictureView(central);
  layout->addWidget(view_, 1);
  controls_ = BuildControls();
  layout->addWidget(controls_);
  setCentralWidget(central);
  central->setStyleSheet("background: #141414;");
  noticeLabel_ = new QLabel(this);
  noticeLabel_->setObjectName("notice");
  noticeLabel_->setWordWrap(true);
  statusBar()->addWidget(noticeLabel_, 1);
  statusBar()->setStyleSheet("QStatusBar { background: #2a2318; } QLabel { color: #ffcf70; padding: 2px 6px; }");
  statusBar()->setSizeGripEnabled(false);
  statusBar()->hide();

  // With nothing open, a click on the picture's invitation opens a file.
  connect(view_, &PictureView::clicked, this, [this] { playback_ ? TogglePause() : ChooseFile(); });
  connect(view_, &PictureView::doubleClicked, this, [this] { ToggleFullScreen(); });
  connect(view_, &PictureView::wheelTurned, this, [this](int steps) { ChangeVolume(steps); });
  connect(view_, &PictureView::mouseMoved, this, [this] { ShowControls(); });
  view_->SetBanner("Open a recording: click here, File > Open, or drop it here");

  frameTimer_.setTimerType(Qt::PreciseTimer);
  frameTimer_.setSingleShot(true);
  connect(&frameTimer_, &QTimer::timeout, this, [this] { OnTimer(); });
  // The idle work (the seeks' snapshots, then the read-through of every
  // block) is done a slice at a time between the picture's ticks.
  connect(&idleTimer_, &QTimer::timeout, this, [this] {
    if (!playback_) {
      idleTimer_.stop();
      return;
    }
    const int32_t frames = playback_->FrameCount();
    if (!playback_->DoIdleWork()) idleTimer_.stop();
    shownTick_ = -1;  // the playback's picture was used for the work
    // Damage found in a block that seeks never decoded: the picture may
    // stand past the new end, paused or not.
    if (playback_->FrameCount() != frames) Render(true);
  });
  hideControlsTimer_.setSingleShot(true);
  connect(&hideControlsTimer_, &QTimer::timeout, this, [this] {
    if (fullScreen_) {
      controls_->hide();
      view_->setCursor(Qt::BlankCursor);
    }
  });

  soundNoticeTimer_.setSingleShot(true);
  connect(&soundNoticeTimer_, &QTimer::timeout, this, [this] {
    soundNotice_.clear();
    UpdateNotices();
  });
  EnableControls();

  const QSize screen = QApplication::primaryScreen()->availableSize();
  resize(std::min(960, screen.width()), std::min(640, screen.height()));
}

ViewerWindow::~ViewerWindow() { sound_.Close(); }

void ViewerWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  QAction* open = file->addAction("&Open...", this, [this] { ChooseFile(); });
  open->setShortcut(QKeySequence::Open);

  auto onRecording = [this](QMenu* menu, const QString& text, auto slot) {
    recordingActions_.push_back(menu->addAction(text, this, slot));
  };
  onRecording(file, "&Next file\tPgDown", [this] { OpenNeighbour(1); });
  onRecording(file, "&Previous file\tPgUp", [this] { OpenNeighbour(-1); });
  file->addSeparator();
  QAction* quit = file->addAction("&Quit", this, [this] { close(); });
  quit->setShortcut(QKeySequence::Quit);

  QMenu* play = menuBar()->addMenu("&Playback");
  onRecording(play, "Play / pause\tSpace", [this] { TogglePause(); });
  onRecording(play, "Back 5 s\tLeft", [this] { SeekBy(-5000); });
  onRecording(play, "Forward 5 s\tRight", [this] { SeekBy(5000); });
  onRecording(play, "Previous mark\t[", [this] { JumpToMark(-1); });
  onRecording(play, "Next mark\t]", [this] { JumpToMark(1); });
  onRecording(play, "Slower\t-", [this] { ChangeSpeed(-1); });
  onRecording(play, "Faster\t+", [this] { ChangeSpeed(1); });
  onRecording(play, "Skip idle stretches\tI", [this] { ToggleIdleSkip(); });

  QMenu* viewMenu = menuBar()->addMenu("&View");
  viewMenu->addAction("Full screen\tF", this, [this] { ToggleFullScreen(); });
  onRecording(viewMenu, "Actual size / fit\t1", [this] { view_->SetOneToOne(!view_->OneToOne()); });
  onRecording(viewMenu, "Mute\tM", [this] { ToggleMute(); });
}

void ViewerWindow::EnableControls() {
  const bool open = playback_ != nullptr;
  controls_->setEnabled(open);
  for (QAction* action : recordingActions_) action->setEnabled(open);
  const bool several = files_.size() > 1;
  recordingActions_[0]->setVisible(several);
  recordingActions_[1]->setVisible(several);
}

QWidget* ViewerWindow::BuildControls() {
  auto* bar = new QWidget(this);
  bar->setStyleSheet(
      "QWidget { background: #1e1e1e; color: #e8e8e8; }"
      "QLabel:disabled { color: #6a6a6a; }"
      "QToolButton { border: none; padding: 4px; }"
      "QToolButton:hover { background: #333; border-radius: 4px; }"
      "QLabel { padding: 0 6px; }");
  auto* layout = new QHBoxLayout(bar);
  layout->setContentsMargins(8, 4, 8, 4);
  layout->setSpacing(6);
  playButton_ = new QToolButton(bar);
  playButton_->setObjectName("play");
  playButton_->setIcon(PlayIcon(true));
  playButton_->setIconSize(QSize(22, 22));
  playButton_->setFocusPolicy(Qt::NoFocus);
  playButton_->setToolTip("Play / pause (Space)");
  connect(playButton_, &QToolButton::clicked, this, [this] { TogglePause(); });
  layout->addWidget(playButton_);

  timeLabel_ = new QLabel("0:00 / 0:00", bar);
  timeLabel_->setMinimumWidth(timeLabel_->fontMetrics().horizontalAdvance("00:00:00 / 00:00:00") + 12);
  layout->addWidget(timeLabel_);
  // Paused or ended, said beside the time rather than over the picture.
  stateLabel_ = new QLabel(bar);
  stateLabel_->setObjectName("state");
  stateLabel_->setStyleSheet("color: #a0a0a0;");
  stateLabel_->setMinimumWidth(stateLabel_->fontMetrics().horizontalAdvance("Paused") + 12);
  layout->addWidget(stateLabel_);

  bar_ = new SeekBar(bar);
  connect(bar_, &SeekBar::seekRequested, this, [this](double ms) { SeekTo(ms); });
  bar_->SetPreview([this](double ms) { return Preview(ms); });
  layout->addWidget(bar_, 1);

  speedLabel_ = new QLabel("1x", bar);
  speedLabel_->setToolTip("Speed (+ / -)");
  layout->addWidget(speedLabel_);
  idleLabel_ = new QLabel("Skip idle", bar);
  idleLabel_->setStyleSheet("color: #ffd75a;");
  idleLabel_->setToolTip("Idle stretches are skipped (I)");
  idleLabel_->hide();
  layout->addWidget(idleLabel_);
  volumeLabel_ = new QLabel("Vol 100%", bar);
  volumeLabel_->setObjectName("volume");
  volumeLabel_->setToolTip("Volume (mouse wheel over the picture), mute (M)");
  layout->addWidget(volumeLabel_);
  return bar;
}

bool ViewerWindow::Open(const QString& path) {
  const std::string file = path.toStdString();
  std::unique_ptr<SeekablePlayback> playback;
  // Worded as selfplay-tool words it: the system's reason, "is not a
  // recording (...)", or the damage itself.
  std::optional<std::string> problem = UnreadableFileReason(file);
  if (!problem) {
    try {
      SeekablePlayback::Options options;
      options.indexAtOpen = false;
      if (auto fault = CatchRecordingFault([&] { playback = SeekablePlayback::Open(file, options); })) {
        problem = OpenFaultReason(file, fault->fault.message);
      }
    } catch (const std::exception& e) {
      problem = e.what();
    }
  }
  if (!playback) {
    QMessageBox::warning(this, "selfplay-view",
                         QString("%1: %2").arg(QFileInfo(path).fileName(), QString::fromStdString(problem.value_or(""))));
    return false;
  }
  sound_.Close();
  playback_ = std::move(playback);
  previewPlayback_.reset();
  previewFrame_ = -1;
  path_ = path;
  damageShownAt_ = -1;
  damageNotice_.clear();
  soundNotice_.clear();
  UpdateNotices();
  shownTick_ = -1;
  view_->SetBanner("");
  EnableControls();
  clock_.SetPaused(true);
  clock_.Seek(0);
  Render(true);
  // The first picture shows while the frame records are indexed and the
  // sound track is expanded.
  view_->repaint();
  playback_->CompleteIndex();
  marks_ = SceneMarks();
  bar_->SetDuration(Duration());
  bar_->SetMarks(marks_);

  soundProblem_.clear();
  // The sound is expanded on demand through its own handle on the file,
  // which the output's callback thread then owns.
  std::unique_ptr<SoundSamples> sound;
  if (playback_->HasSoundTrack()) {
    try {
      sound = playback_->OpenSound(std::make_unique<FileStream>(path.toStdString()));
      sound->CompleteIndex();
    } catch (const Error& e) {
      soundProblem_ = e.what();
    }
  }
  const bool decoded = sound && sound->IsPcm();
  // Before the samples move to the output.
  idle_ = FindIdleStretches(*playback_, decoded ? sound.get() : nullptr);
  if (playback_->HasSoundTrack()) {
    if (decoded) {
      sound_.Open(std::move(sound), &soundProblem_);
    } else if (soundProblem_.empty()) {
      soundProblem_ = "the sound track is no PCM WAV file";
    }
    if (!soundProblem_.empty()) ShowSoundProblem();
    sound_.SetVolume(volume_ / 100.0f);
    sound_.SetMuted(muted_);
  }
  clock_.SetSpeed(Speed());
  clock_.Seek(0);
  idleTimer_.start(0);
  SetPaused(false);
  if (startMs_) SeekTo(*std::exchange(startMs_, std::nullopt));
  Render(true);
  ShowNewDamage();
  return true;
}

double ViewerWindow::Duration() const {
  return playback_ ? static_cast<double>(playback_->DurationMilliseconds()) : 0;
}

std::vector<double> ViewerWindow::SceneMarks() const {
  std::vector<double> marks;
  for (const int32_t frame : SceneMarkFrames(*playback_)) {
    marks.push_back(static_cast<double>(playback_->MillisecondsOf(playback_->TickOfFrame(frame))));
  }
  return marks;
}

void ViewerWindow::Render(bool force) {
  if (!playback_) return;
  const double now = std::clamp(clock_.Now(), 0.0, Duration());
  const int64_t tick = playback_->TickAt(static_cast<int64_t>(now));
  shownMs_ = now;
  if (tick != shownTick_ || force) {
    const Bitmap& picture = playback_->PictureAt(tick);
    const Rect dirty = const_cast<Bitmap&>(picture).TakeDirty();
    view_->Show(Wrap(picture), shownTick_ < 0 || force
                                   ? QRect()
                                   : QRect(dirty.left, dirty.top, dirty.right - dirty.left,
                                           dirty.bottom - dirty.top));
    shownTick_ = tick;
    ShowNewDamage();
  }
  bar_->SetPosition(now);
  UpdateLabels();
  ScheduleTick();
}

void ViewerWindow::ScheduleTick() {
  // While playing, the next wake-up is when the picture's tick changes (a
  // millisecond late, so that the clock has passed it); paused, none.
  if (!playback_ || clock_.Paused()) {
    frameTimer_.stop();
    return;
  }
  const double tickMs = playback_->TickMilliseconds();
  const double now = clock_.Now();
  const double next = (std::floor(now / tickMs) + 1) * tickMs;
  const double wait = (next - now) / clock_.Speed() + 1;
  frameTimer_.start(static_cast<int>(std::clamp(wait, 1.0, 1000.0)));
}

void ViewerWindow::OnTimer() {
  if (!playback_) return;
  const double duration = Duration();
  if (!clock_.Paused() && clock_.Now() >= duration && loop_ && duration > 0) {
    clock_.Seek(0);
  } else if (!clock_.Paused() && clock_.Now() >= duration) {
    clock_.Seek(duration);
    SetPaused(true);
    view_->Flash(playback_->Damage() ? "Ended: the rest is damaged" : "Ended");
  }
  if (idleSkip_ && !clock_.Paused()) {
    const double now = clock_.Now();
    for (const IdleStretch& idle : idle_) {
      if (now >= idle.start && now < idle.end) {
        clock_.Seek(idle.end);
        view_->Flash(QString("Skipped %1 idle").arg(FormatTime(idle.end - now)));
        break;
      }
    }
  }
  Render();
}

void ViewerWindow::SeekTo(double milliseconds) {
  if (!playback_) return;
  clock_.Seek(std::clamp(milliseconds, 0.0, Duration()));
  Render();
}

void ViewerWindow::StepFrame(int direction) {
  if (!playback_) return;
  if (!clock_.Paused()) SetPaused(true);
  const int64_t tick = playback_->TickAt(static_cast<int64_t>(clock_.Now()));
  const int32_t frame = playback_->FrameOfTick(tick);
  int32_t target = frame + direction;
  // Back from inside a frame goes to that frame's start first.
  if (direction < 0 && tick > playback_->TickOfFrame(frame)) target = frame;
  target = std::clamp(target, 0, playback_->FrameCount() - 1);
  SeekTo(static_cast<double>(playback_->MillisecondsOf(playback_->TickOfFrame(target))));
}

void ViewerWindow::JumpToMark(int direction) {
  if (!playback_ || marks_.empty()) return;
  const double now = clock_.Now();
  if (direction > 0) {
    auto next = std::upper_bound(marks_.begin(), marks_.end(), now + 1);
    if (next != marks_.end()) SeekTo(*next);
  } else {
    // A mark just passed is skipped over, as a player's "previous" does.
    auto previous = std::lower_bound(marks_.begin(), marks_.end(), now - 1500);
    if (previous != marks_.begin()) SeekTo(*std::prev(previous));
    else SeekTo(0);
  }
}

void ViewerWindow::SetPaused(bool paused) {
  if (!playback_) return;
  if (!paused && clock_.Now() >= Duration()) clock_.Seek(0);  // play again from the start
  clock_.SetPaused(paused);
  playButton_->setIcon(PlayIcon(paused));
  // Over the picture only for a moment: people pause to read the screen.
  if (paused && clock_.Now() < Duration()) view_->Flash(QString::fromUtf8("\u275A\u275A  Paused"));
  Render();
}

void ViewerWindow::SetSpeed(double speed) {
  speed_ = std::clamp(speed, kSpeeds[0], kSpeeds[std::size(kSpeeds) - 1]);
  clock_.SetSpeed(speed_);
  UpdateLabels();
  ScheduleTick();
}

void ViewerWindow::SetMuted(bool muted) {
  muted_ = muted;
  sound_.SetMuted(muted_);
  UpdateLabels();
}

void ViewerWindow::ChangeSpeed(int direction) {
  if (!playback_) return;
  // To the next step of kSpeeds, from wherever --speed set it.
  double next = speed_;
  for (double step : kSpeeds) {
    if (direction > 0 && step > speed_ + 1e-9) {
      next = step;
      break;
    }
    if (direction < 0 && step < speed_ - 1e-9) next = step;
  }
  speed_ = next;
  clock_.SetSpeed(Speed());
  view_->Flash(QString::number(Speed()) + "x");
  UpdateLabels();
  ScheduleTick();  // the next tick comes sooner or later at the new speed
}

void ViewerWindow::ToggleFullScreen() { SetFullScreen(!fullScreen_); }

void ViewerWindow::SetFullScreen(bool on) {
  // Our own flag: without a window manager the window's state may not follow.
  if (on == fullScreen_) return;
  fullScreen_ = on;
  menuBar()->setVisible(!on);
  UpdateNotices();
  if (on) {
    normalGeometry_ = geometry();
    showFullScreen();
    // Without a window manager the state alone moves nothing.
    setGeometry(screen()->geometry());
    ShowControls();
  } else {
    showNormal();
    if (normalGeometry_.isValid()) setGeometry(normalGeometry_);
    controls_->show();
    view_->unsetCursor();
    hideControlsTimer_.stop();
  }
}

void ViewerWindow::ShowControls() {
  if (!fullScreen_) return;
  controls_->show();
  view_->unsetCursor();
  hideControlsTimer_.start(2500);
}

void ViewerWindow::ChangeVolume(int steps) {
  if (!playback_) return;
  volume_ = std::clamp(volume_ + 5 * steps, 0, 100);
  sound_.SetVolume(volume_ / 100.0f);
  // Turning the volume means to hear it.
  if (muted_) {
    muted_ = false;
    sound_.SetMuted(false);
  }
  view_->Flash(sound_.IsOpen() ? QString("Volume %1%").arg(volume_) : QString("No sound output"));
  UpdateLabels();
}

void ViewerWindow::ToggleMute() {
  if (!playback_) return;
  SetMuted(!muted_);
  view_->Flash(muted_ ? "Muted" : QString("Volume %1%").arg(volume_));
  UpdateLabels();
}

void ViewerWindow::SavePicture() {
  if (!playback_) return;
  const SavedPicture saved = SavePictureBeside(
      path_, shownMs_, Wrap(playback_->PictureAt(playback_->TickAt(static_cast<int64_t>(shownMs_)))));
  view_->Flash(saved.error.isEmpty() ? "Saved " + QFileInfo(saved.path).fileName()
                                     : "Could not save the picture: " + saved.error);
}

void ViewerWindow::ToggleIdleSkip() {
  if (!playback_) return;
  idleSkip_ = !idleSkip_;
  view_->Flash(idleSkip_ ? QString("Skipping idle stretches (%1)").arg(idle_.size())
                         : QString("Idle skipping off"));
  UpdateLabels();
}

void ViewerWindow::UpdateLabels() {
  // The title says what plays, and at what speed when it is not 1x.
  QString title = path_.isEmpty() ? QString() : QFileInfo(path_).fileName() + " - ";
  if (Speed() != 1.0) title = QString::number(Speed()) + "x - " + title;
  if (windowTitle() != title + "selfplay-view") setWindowTitle(title + "selfplay-view");
  timeLabel_->setText(FormatTime(shownMs_) + " / " + FormatTime(Duration()));
  speedLabel_->setText(QString::number(Speed()) + "x");
  // Setting a style sheet polishes the widget again, even to the same one:
  // only when it changes, not at every picture.
  const QString speedStyle = Speed() != 1.0 ? "color: #ffd75a; font-weight: bold;" : "";
  if (speedLabel_->styleSheet() != speedStyle) speedLabel_->setStyleSheet(speedStyle);
  const bool silent = playback_ && !soundProblem_.empty();
  volumeLabel_->setText(silent ? QString("No sound") : muted_ ? QString("Muted") : QString("Vol %1%").arg(volume_));
  const QString volumeTip = silent ? QString::fromStdString(soundProblem_)
                                   : QString("Volume (mouse wheel over the picture), mute (M)");
  if (volumeLabel_->toolTip() != volumeTip) volumeLabel_->setToolTip(volumeTip);
  const bool ended = playback_ && clock_.Paused() && shownMs_ >= Duration();
  const QString state = !playback_ || !clock_.Paused() ? QString() : ended ? QString("Ended") : QString("Paused");
  if (stateLabel_->text() != state) stateLabel_->setText(state);
  if (idleLabel_->isVisibleTo(controls_) != idleSkip_) idleLabel_->setVisible(idleSkip_);
}

QImage ViewerWindow::Preview(double milliseconds) {
  if (!playback_) return {};
  try {
    if (!previewPlayback_) {
      // A second reader, so that hovering leaves the playing picture alone;
      // its snapshots stay few, to keep within the memory budget.
      SeekablePlayback::Options options;
      options.snapshotBudgetBytes =
          int64_t{playback_->Width()} * playback_->Height() * 4 * 4;
      previewPlayback_ = SeekablePlayback::Open(path_.toStdString(), options);
    }
    const int32_t frame = previewPlayback_->FrameOfTick(previewPlayback_->TickAt(static_cast<int64_t>(milliseconds)));
    if (frame != previewFrame_) {
      const Bitmap& picture = previewPlayback_->FrameAt(frame);
      previewImage_ = Wrap(picture).scaled(192, 192, Qt::KeepAspectRatio, Qt::SmoothTransformation);
      previewFrame_ = frame;
    }
  } catch (const std::exception&) {
    return {};
  }
  return previewImage_;
}

void ViewerWindow::keyPressEvent(QKeyEvent* event) {
  const bool shift = event->modifiers() & Qt::ShiftModifier;
  switch (event->key()) {
    case Qt::Key_Space: TogglePause(); break;
    case Qt::Key_Left: SeekBy(shift ? -60000 : -5000); break;
    case Qt::Key_Right: SeekBy(shift ? 60000 : 5000); break;
    case Qt::Key_Home: SeekTo(0); break;
    case Qt::Key_End: SeekTo(Duration()); break;
    case Qt::Key_Comma: StepFrame(-1); break;
    case Qt::Key_Period: StepFrame(1); break;
    case Qt::Key_BracketLeft: JumpToMark(-1); break;
    case Qt::Key_BracketRight: JumpToMark(1); break;
    case Qt::Key_Plus: case Qt::Key_Equal: ChangeSpeed(1); break;
    case Qt::Key_Minus: case Qt::Key_Underscore: ChangeSpeed(-1); break;
    case Qt::Key_F: ToggleFullScreen(); break;
    case Qt::Key_Escape: SetFullScreen(false); break;
    case Qt::Key_1: view_->SetOneToOne(!view_->OneToOne()); break;
    case Qt::Key_M: ToggleMute(); break;
    case Qt::Key_I: ToggleIdleSkip(); break;
    case Qt::Key_S: SavePicture(); break;
    case Qt::Key_PageDown: OpenNeighbour(1); break;
    case Qt::Key_PageUp: OpenNeighbour(-1); break;
    default: QMainWindow::keyPressEvent(event); return;
  }
  event->accept();
}

void ViewerWindow::closeEvent(QCloseEvent* event) {
  frameTimer_.stop();
  sound_.Close();
  QMainWindow::closeEvent(event);
}

}  // namespace sp::view
