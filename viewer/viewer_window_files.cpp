// Which file plays: chosen in the dialog, dropped on the window, or the next
// of those given on the command line.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>

#include "viewer/picture_view.h"
#include "viewer/viewer_window.h"

namespace sp::view {

void ViewerWindow::ChooseFile() {
  QFileDialog dialog(this, "Open a recording", path_.isEmpty() ? QString() : QFileInfo(path_).absolutePath());
  dialog.setFileMode(QFileDialog::ExistingFile);
  // Linux recordings have no extension: every file is offered first.
  dialog.setNameFilters({"All files (*)", "Windows recordings (*.exe *.EXE *.vexa *.bin)"});
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  Open(dialog.selectedFiles().front());
}

void ViewerWindow::OpenFiles(const QStringList& paths) {
  files_ = paths;
  fileIndex_ = 0;
  EnableControls();
  if (!files_.isEmpty()) Open(files_.front());
}

void ViewerWindow::OpenNeighbour(int direction) {
  if (files_.size() < 2) return;
  const int next = fileIndex_ + direction;
  if (next < 0 || next >= files_.size()) {
    view_->Flash(next < 0 ? "This is the first file" : "This is the last file");
    return;
  }
  fileIndex_ = next;
  if (Open(files_[next])) {
    view_->Flash(QString("%1 / %2: %3").arg(next + 1).arg(files_.size()).arg(QFileInfo(files_[next]).fileName()));
  }
}

void ViewerWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void ViewerWindow::dropEvent(QDropEvent* event) {
  // Several files dropped together are gone through like those given on
  // the command line.
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths << url.toLocalFile();
  }
  if (!paths.isEmpty()) OpenFiles(paths);
}

}  // namespace sp::view
