#pragma once

#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>
#include <QTimer>
#include <QToolButton>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "playback/idle_stretches.h"
#include "playback/seekable_playback.h"
#include "viewer/media_clock.h"
#include "viewer/sound_output.h"

namespace sp::view {

class PictureView;
class SeekBar;

// The speeds `+` and `-` step through.
inline constexpr double kSpeeds[] = {0.5, 0.75, 1.0, 1.25, 1.5, 2.0, 3.0, 4.0};

// The viewer's window: the picture over a bar of controls (play, time, seek
// bar, speed, volume). The recording, its time line and its sound are
// driven from here; every picture comes from the engine's SeekablePlayback.
class ViewerWindow : public QMainWindow {
  Q_OBJECT

 public:
  ViewerWindow();
  ~ViewerWindow() override;

  // Replaces what plays; false (after a message naming what is wrong and
  // where) when the file cannot be shown.
  bool Open(const QString& path);
  // The files given on the command line: the first opens, PageDown and
  // PageUp go through the others.
  void OpenFiles(const QStringList& paths);

  // For tests and the status: where the picture stands.
  double PositionMilliseconds() const { return shownMs_; }
  bool Paused() const { return clock_.Paused(); }
  double Speed() const { return speed_; }

  // The command line's wishes: any speed from 0.5x to 4x (the keys step to
  // the next of kSpeeds), muted, playing again at the end, and where the
  // next file opened starts.
  void SetSpeed(double speed);
  void SetMuted(bool muted);
  void SetLoop(bool loop) { loop_ = loop; }
  void StartAt(double milliseconds) { startMs_ = milliseconds; }
  void SetFullScreen(bool on);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  QWidget* BuildControls();
  void ChooseFile();
  void Render(bool force = false);
  void OnTimer();
  // Wakes the picture up at its next tick while playing.
  void ScheduleTick();
  void SeekTo(double milliseconds);
  void SeekBy(double milliseconds) { SeekTo(clock_.Now() + milliseconds); }
  void StepFrame(int direction);
  void JumpToMark(int direction);
  void SetPaused(bool paused);
  void TogglePause() { SetPaused(!clock_.Paused()); }
  void ChangeSpeed(int direction);
  void ToggleFullScreen();
  // Saves the picture shown as a PNG beside the recording, never over a file.
  void SavePicture();
  void ChangeVolume(int steps);
  void ToggleMute();
  void ToggleIdleSkip();
  void ShowDamage();
  // Shows damage found since the last call, if any.
  void ShowNewDamage();
  void ShowSoundProblem();
  // Moves through the files given (PageDown / PageUp).
  void OpenNeighbour(int direction);
  // With nothing open, the controls and the actions on a recording do nothing.
  void EnableControls();
  // The line under the controls: what the user should know about the open
  // file (damage, no sound), shown while it holds.
  void UpdateNotices();
  // What the recording claims to hold: more than Duration() when it is cut.
  double DeclaredDuration() const;
  void UpdateLabels();
  void ShowControls();
  double Duration() const;
  std::vector<double> SceneMarks() const;
  QImage Preview(double milliseconds);

  std::unique_ptr<SeekablePlayback> playback_;
  std::unique_ptr<SeekablePlayback> previewPlayback_;
  QString path_;
  MediaClock clock_;
  SoundOutput sound_{clock_};
  std::string soundProblem_;

  PictureView* view_ = nullptr;
  SeekBar* bar_ = nullptr;
  QWidget* controls_ = nullptr;
  QToolButton* playButton_ = nullptr;
  QLabel* timeLabel_ = nullptr;
  QLabel* speedLabel_ = nullptr;
  QLabel* volumeLabel_ = nullptr;
  QLabel* idleLabel_ = nullptr;
  QLabel* stateLabel_ = nullptr;  // "Paused", "Ended"
  QLabel* noticeLabel_ = nullptr;
  QString damageNotice_;
  QString soundNotice_;
  QTimer frameTimer_;
  QTimer hideControlsTimer_;
  QTimer idleTimer_;
  QTimer soundNoticeTimer_;
  std::vector<QAction*> recordingActions_;
  QStringList files_;
  int fileIndex_ = 0;

  int64_t shownTick_ = -1;
  double shownMs_ = 0;
  // The frames that played when the damage shown was found (-1: none shown);
  // idle work can find damage earlier still.
  int32_t damageShownAt_ = -1;
  double speed_ = 1.0;
  bool loop_ = false;
  std::optional<double> startMs_;
  int volume_ = 100;  // percent
  bool muted_ = false;
  bool idleSkip_ = false;
  QString statusTip_;
  QRect normalGeometry_;
  bool fullScreen_ = false;
  std::vector<double> marks_;
  std::vector<IdleStretch> idle_;
  int32_t previewFrame_ = -1;
  QImage previewImage_;
};

}  // namespace sp::view
