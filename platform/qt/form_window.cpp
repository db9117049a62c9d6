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
      placement_(form.GetBorderStyle(), form.GetWindowState(), {form.Left(), form.Top()},
                 {form.ClientWidth(), form.ClientHeight()}) {
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
  WindowPlacement::Applying applying(placement_);
  const QRect screen = ScreenRect(false);
  const WindowPlacement::Geometry g = placement_.Compute({screen.width(), screen.height()});
  switch (g.kind) {
    case WindowPlacement::Kind::CoverScreen:
      setWindowState(Qt::WindowNoState);
      setGeometry(screen);
      break;
    case WindowPlacement::Kind::SystemMaximized:
      setGeometry(ScreenRect(true));
      setWindowState(Qt::WindowMaximized);
      break;
    case WindowPlacement::Kind::Normal:
      setWindowState(Qt::WindowNoState);
      move(g.outerTopLeft.x, g.outerTopLeft.y);
      resize(g.clientSize.width, g.clientSize.height);
      break;
  }
}

void FormWindow::SetBorderStyle(BorderStyle style) {
  if (!placement_.SetStyle(style)) return;
  const bool wasVisible = isVisible();
  system_.Unregister(handle_);
  handle_ = 0;
  setWindowFlags(FlagsFor(style));
  ApplyGeometry();
  if (wasVisible) ShowForm();
  handle_ = system_.Register(this);
}

void FormWindow::SetWindowState(WindowState state) {
  if (placement_.SetState(state)) ApplyGeometry();
}

void FormWindow::SetClientSize(int width, int height) {
  if (placement_.SetClientSize({width, height})) ApplyGeometry();
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
  if (placement_.ClientSizeReported({width(), height()})) form_.HandleResize();
}

void FormWindow::moveEvent(QMoveEvent*) {
  placement_.Moved({pos().x(), pos().y()},
                   isVisible() ? WindowPlacement::Visibility::Shown
                               : WindowPlacement::Visibility::Hidden,
                   isMaximized() ? WindowPlacement::SystemState::Maximized
                                 : WindowPlacement::SystemState::Restored);
}

void FormWindow::closeEvent(QCloseEvent* event) {
  // The form decides: its close handler ends the application.
  event->ignore();
  form_.HandleCloseRequest();
}

void FormWindow::keyPressEvent(QKeyEvent* event) {
  const WindowKey key = event->key() == Qt::Key_F4     ? WindowKey::F4
                        : event->key() == Qt::Key_F10  ? WindowKey::F10
                        : event->key() == Qt::Key_Menu ? WindowKey::Menu
                                                       : WindowKey::Other;
  const Qt::KeyboardModifiers held = event->modifiers();
  const unsigned modifiers = (held & Qt::AltModifier ? kAlt : 0u) |
                             (held & Qt::ShiftModifier ? kShift : 0u) |
                             (held & Qt::ControlModifier ? kControl : 0u);
  switch (CommandForKey(key, modifiers)) {
    case KeyCommand::Close:
      form_.HandleCloseRequest();
      return;
    case KeyCommand::OpenMenu:
      OpenMenu(mapToGlobal(QPoint(0, 0)));
      return;
    case KeyCommand::None:
      break;
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
    // Released away from the window, the click was taken back.
    if (rect().contains(mapFromGlobal(event->globalPosition().toPoint()))) {
      OpenMenu(event->globalPosition().toPoint());
    }
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
