// What the window tells about the open file beyond its picture: damage,
// with the length the recording claims, and a missing sound output.
#include <QLabel>
#include <QStatusBar>
#include <algorithm>
#include <climits>

#include "payload/payload_reader.h"
#include "viewer/picture_view.h"
#include "viewer/seek_bar.h"
#include "viewer/viewer_window.h"

namespace sp::view {

double ViewerWindow::DeclaredDuration() const {
  // The header's frame count is what the recorder wrote before the file was
  // cut; a count no longer than what was read, or beyond a day, says nothing.
  const int64_t declared = playback_->Header().FrameCount;
  const double readable = Duration();
  if (declared <= playback_->FrameCount()) return readable;
  const double ms = static_cast<double>(playback_->MillisecondsOf(playback_->TickOfFrame(
      static_cast<int32_t>(std::min<int64_t>(declared, INT32_MAX) - 1))));
  return ms > readable && ms <= 24 * 3600e3 ? ms : readable;
}

void ViewerWindow::ShowNewDamage() {
  if (playback_->Damage() && playback_->FrameCount() != damageShownAt_) ShowDamage();
}

void ViewerWindow::ShowDamage() {
  damageShownAt_ = playback_->FrameCount();
  // Damage found while composing shortens the recording; the bar keeps the
  // length the recording claims and marks where the reading stops.
  bar_->SetDuration(DeclaredDuration());
  bar_->SetReadableEnd(Duration());
  const ItemFault& fault = *playback_->Damage();
  const QString where = QString("%1, offset %2").arg(QString::fromStdString(fault.item),
                                                    QString::fromStdString(Thousands(fault.offset)));
  damageNotice_ = DeclaredDuration() > Duration()
                      ? QString("The recording is damaged at %1: it plays up to %2 of %3.")
                            .arg(where, FormatTime(Duration()), FormatTime(DeclaredDuration()))
                      : QString("The recording is damaged at %1: it plays up to %2.")
                            .arg(where, FormatTime(Duration()));
  statusTip_ = QString::fromStdString(fault.message);
  timeLabel_->setToolTip(statusTip_);
  noticeLabel_->setToolTip(statusTip_);
  UpdateNotices();
  // Said once in the picture too, for a moment.
  view_->Flash("Damaged recording");
}

void ViewerWindow::UpdateNotices() {
  QStringList lines;
  for (const QString& notice : {damageNotice_, soundNotice_}) {
    if (!notice.isEmpty()) lines << notice;
  }
  noticeLabel_->setText(lines.join("\n"));
  statusBar()->setVisible(!lines.isEmpty() && !fullScreen_);
}

void ViewerWindow::ShowSoundProblem() {
  // Said for a while under the controls; the volume keeps saying it.
  QString why = QString::fromStdString(soundProblem_);
  if (!why.isEmpty()) why[0] = why[0].toUpper();
  soundNotice_ = why + ". The recording plays without its sound.";
  UpdateNotices();
  soundNoticeTimer_.start(10000);
}

}  // namespace sp::view
