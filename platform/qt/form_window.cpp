#include "platform/qt/form_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include "platform/form.h"
#include "platform/qt/image_view.h"
#include "platform/qt/qt_color.h"
#include "platform/qt/qt_system.h"

namespace sp {

namespace {

Qt::WindowFlags FlagsFor(BorderStyle style) {
  return style == BorderStyle::None ? Qt::Window | Qt::FramelessWindowHint : Qt::Window;
}

QRect ScreenRect(bool available) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return {};
  return available ? screen->availableGeometry() : screen->geometry();
}

}  // namespace

FormWindow::FormWindow(QtSystem& system, Form& form)
    : QWidget(nullptr, FlagsFor(form.GetBorderStyle())),
      system_(system),
      form_(form),
      style_(form.GetBorderStyle()),
      state_(form.GetWindowState()),
      normalPosition_(form.Left(), form.Top()),
      normalClientSize_(form.ClientWidth(), form.ClientHeight()) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(false);
  // The right button's press and release come here as mouse events: the
  // menu opens on the release, as on Windows, never on the press.
  setContextMenuPolicy(Qt::PreventContextMenu);
  setWindowTitle(QString::fromStdString(form.Caption()));
  image_ = new ImageView(*this, form_);
  BuildMenu();
  ImageLayoutChanged();
  ApplyGeometry();
  handle_ = system_.Register(this);
}

FormWindow::~FormWindow() { system_.Unregister(handle_); }

void FormWindow::BuildMenu() {
  menu_ = new QMenu(this);
  const auto& items = form_.PopupMenu();
  for (size_t i = 0; i < items.size(); ++i) {
    QAction* action = items[i].caption == "-" ? menu_->addSeparator() : menu_->addAction(QString());
    action->setData(QVariant::fromValue(static_cast<qulonglong>(i)));
    actions_.push_back(action);
  }
  SyncMenu();
}

void FormWindow::SyncMenu() {
  auto& items = form_.PopupMenu();
  for (size_t i = 0; i < items.size() && i < actions_.size(); ++i) MenuChanged(i);
}

void FormWindow::MenuChanged(size_t index) {
  auto& items = form_.PopupMenu();
  if (index >= items.size() || index >= actions_.size()) return;
  QAction* action = actions_[index];
  if (action->isSeparator()) return;
  action->setText(QString::fromStdString(items[index].caption));
  // Only a checked item shows a mark; an unchecked one is a plain item.
  action->setCheckable(items[index].checked);
  action->setChecked(items[index].checked);
}

void FormWindow::ApplyGeometry() {
  applyingGeometry_ = true;
  if (state_ == WindowState::Maximized) {
    if (style_ == BorderStyle::None) {
      setWindowState(Qt::WindowNoState);
      setGeometry(ScreenRect(false));
    } else {
      setGeometry(ScreenRect(true));
      setWindowState(Qt::WindowMaximized);
    }
  } else {
    setWindowState(Qt::WindowNoState);
    move(normalPosition_);
    resize(normalClientSize_);
  }
  applyingGeometry_ = false;
}

void FormWindow::SetBorderStyle(BorderStyle style) {
  if (style == style_) return;
  style_ = style;
  const bool wasVisible = isVisible();
  system_.Unregister(handle_);
  handle_ = 0;
  setWindowFlags(FlagsFor(style));
  ApplyGeometry();
  if (wasVisible) ShowForm();
  handle_ = system_.Register(this);
}

void FormWindow::SetWindowState(WindowState state) {
  if (state == state_) return;
  state_ = state;
  ApplyGeometry();
}

void FormWindow::SetClientSize(int width, int height) {
  normalClientSize_ = QSize(width, height);
  if (state_ == WindowState::Normal) ApplyGeometry();
}

Size FormWindow::ClientSize() const { return {width(), height()}; }

Size FormWindow::OuterSize() const {
  const QRect frame = frameGeometry();
  return {frame.width(), frame.height()};
}

void FormWindow::SetCaption(const std::string& utf8) { setWindowTitle(QString::fromStdString(utf8)); }

void FormWindow::ImageLayoutChanged() {
  const ImageControl& control = form_.Image();
  image_->setGeometry(control.left, control.top, control.width, control.height);
  image_->update();
}

void FormWindow::Flush() { PresentImage(form_.Image().picture.TakeDirty()); }

void FormWindow::PresentImage(const Rect& dirty) {
  if (!dirty.IsEmpty()) image_->update(dirty.left, dirty.top, dirty.Width(), dirty.Height());
}

void FormWindow::ShowForm() {
  show();
  raise();
  activateWindow();
}

void FormWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), ToQColor(form_.GetColor()));
}

void FormWindow::resizeEvent(QResizeEvent*) { ReportResize(); }

void FormWindow::ReportResize() {
  if (size() == reportedSize_) return;
  reportedSize_ = size();
  form_.HandleResize();
}

void FormWindow::moveEvent(QMoveEvent*) {
  // The user's moves of the normal window become its normal position.
  if (state_ == WindowState::Normal && isVisible() && !applyingGeometry_) normalPosition_ = pos();
}

void FormWindow::closeEvent(QCloseEvent* event) {
  // The form decides: its close handler ends the application.
  event->ignore();
  form_.HandleCloseRequest();
}

void FormWindow::keyPressEvent(QKeyEvent* event) {
  // The system's close command, also where no window manager provides it.
  if (event->key() == Qt::Key_F4 && (event->modifiers() & Qt::AltModifier)) {
    form_.HandleCloseRequest();
    return;
  }
  // The keyboard's menu key and Shift+F10 open the menu at the window's
  // top-left.
  if (event->key() == Qt::Key_Menu ||
      (event->key() == Qt::Key_F10 && (event->modifiers() & Qt::ShiftModifier))) {
    OpenMenu(mapToGlobal(QPoint(0, 0)));
    return;
  }
  QWidget::keyPressEvent(event);
}

void FormWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    event->accept();
    return;
  }
  QWidget::mousePressEvent(event);
}

// Opened on the release, the menu never sees the release of the click that
// opened it: a menu opened on the press under the pointer would take that
// release as a click on its first item.
void FormWindow::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    event->accept();
    OpenMenu(event->globalPosition().toPoint());
    return;
  }
  QWidget::mouseReleaseEvent(event);
}

void FormWindow::OpenMenu(const QPoint& globalPos) {
  SyncMenu();
  // The chosen command runs after the menu has closed, as a menu command
  // message would; ticks go on while the menu is open.
  QAction* chosen = menu_->exec(globalPos);
  SyncMenu();
  if (chosen == nullptr) return;
  form_.HandleMenuClick(static_cast<size_t>(chosen->data().toULongLong()));
  SyncMenu();
}

}  // namespace sp
