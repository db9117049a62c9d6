#pragma once

#include <QWidget>
#include <atomic>
#include <vector>

#include "platform/shell.h"
#include "platform/window_placement.h"

class QAction;
class QMenu;

namespace sp {

class QtSystem;
class ImageView;

// A form's native window: a top-level widget with the image control as a
// child at its laid-out position and the popup menu as a QMenu. Geometry
// comes from the placement rather than from a window manager, so the
// borderless maximised window covers the screen even where none runs.
class FormWindow : public QWidget, public WindowBackend {
 public:
  FormWindow(QtSystem& system, Form& form);
  ~FormWindow() override;

  void SetBorderStyle(BorderStyle style) override;
  void SetWindowState(WindowState state) override;
  void SetClientSize(int width, int height) override;
  Size ClientSize() const override;
  Size OuterSize() const override;
  void SetCaption(const std::string& utf8) override;
  void MenuChanged(size_t index) override;
  void ImageLayoutChanged() override;
  void PresentImage(const Rect& dirty) override;
  WindowHandle Handle() const override { return handle_; }

  Form& GetForm() const { return form_; }
  // Repaints what the form's handlers changed in the image's picture so
  // far, for a modal box shown in the middle of a handler.
  void Flush();
  void ShowForm();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void BuildMenu();
  void OpenMenu(const QPoint& globalPos);
  void SyncMenu();
  void ApplyGeometry();
  void ReportResize();

  QtSystem& system_;
  Form& form_;
  std::atomic<WindowHandle> handle_{0};
  WindowPlacement placement_;
  ImageView* image_ = nullptr;
  QMenu* menu_ = nullptr;
  std::vector<QAction*> actions_;  // one per menu item, separators included
};

}  // namespace sp
