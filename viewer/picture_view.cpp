#include "viewer/picture_view.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>
#include <algorithm>

namespace sp::view {

PictureView::PictureView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setMinimumSize(160, 90);
  flashTimer_.setSingleShot(true);
  connect(&flashTimer_, &QTimer::timeout, this, [this] {
    flash_.clear();
    update();
  });
  clickTimer_.setSingleShot(true);
  connect(&clickTimer_, &QTimer::timeout, this, &PictureView::clicked);
}

void PictureView::Show(const QImage& image, const QRect& changed) {
  const bool sameSize = image.size() == image_.size();
  image_ = image;
  if (!sameSize || changed.isNull() || !flash_.isEmpty() || !banner_.isEmpty() || oneToOne_) {
    update();
    return;
  }
  // Only the part of the widget the change lands on, with a pixel of
  // margin for the smooth scaling's reach.
  const QRect target = PictureRect();
  const double sx = static_cast<double>(target.width()) / image_.width();
  const double sy = static_cast<double>(target.height()) / image_.height();
  const QRect area(target.x() + static_cast<int>(changed.x() * sx) - 2,
                   target.y() + static_cast<int>(changed.y() * sy) - 2,
                   static_cast<int>(changed.width() * sx) + 5, static_cast<int>(changed.height() * sy) + 5);
  update(area);
}

void PictureView::Clear() {
  image_ = QImage();
  update();
}

void PictureView::SetOneToOne(bool oneToOne) {
  oneToOne_ = oneToOne;
  pan_ = {};
  UpdateCursor();
  update();
  if (Pannable()) Flash("Drag to see the rest");
}

bool PictureView::Pannable() const {
  return oneToOne_ && !image_.isNull() && (image_.width() > width() || image_.height() > height());
}

void PictureView::UpdateCursor() {
  if (cursor().shape() == Qt::BlankCursor) return;  // hidden in full screen
  const Qt::CursorShape shape = !Pannable() ? Qt::ArrowCursor : dragging_ ? Qt::ClosedHandCursor : Qt::OpenHandCursor;
  if (cursor().shape() != shape) setCursor(shape);
}

void PictureView::Flash(const QString& text) {
  flash_ = text;
  if (!text.isEmpty()) flashTimer_.start(1500);
  update();
}

void PictureView::SetBanner(const QString& text) {
  if (banner_ == text) return;
  banner_ = text;
  update();
}

QRect PictureView::PictureRect() const {
  if (image_.isNull()) return {};
  QSize size = image_.size();
  if (!oneToOne_) size.scale(this->size(), Qt::KeepAspectRatio);
  // Centred; dragged, an overflowing side moves no further than its edge.
  auto place = [](int room, int length, int pan) {
    const int centred = (room - length) / 2;
    return length <= room ? centred : std::clamp(centred + pan, room - length, 0);
  };
  const int x = place(width(), size.width(), oneToOne_ ? pan_.x() : 0);
  const int y = place(height(), size.height(), oneToOne_ ? pan_.y() : 0);
  return QRect(QPoint(x, y), size);
}

namespace {

void DrawBadge(QPainter& painter, const QRect& box, const QString& text, int pixelSize) {
  QFont font = painter.font();
  font.setPixelSize(pixelSize);
  font.setBold(true);
  painter.setFont(font);
  QPainterPath path;
  path.addRoundedRect(box, pixelSize * 0.5, pixelSize * 0.5);
  painter.fillPath(path, QColor(0, 0, 0, 160));
  painter.setPen(Qt::white);
  painter.drawText(box, Qt::AlignCenter, text);
}

}  // namespace

void PictureView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.setClipRegion(event->region());
  const QRect target = PictureRect();
  const QRegion around = QRegion(rect()) - QRegion(target);
  for (const QRect& r : around) painter.fillRect(r, Qt::black);
  if (!image_.isNull()) {
    if (target.size() == image_.size()) {
      painter.drawImage(target.topLeft(), image_);
    } else {
      painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
      painter.drawImage(target, image_);
    }
  }
  if (!banner_.isEmpty()) {
    const int size = std::clamp(height() / 24, 14, 36);
    QFont font = painter.font();
    font.setPixelSize(size);
    font.setBold(true);
    const int w = std::min(width() - 20, QFontMetrics(font).horizontalAdvance(banner_) + 3 * size);
    DrawBadge(painter, QRect((width() - w) / 2, (height() - 3 * size) / 2, w, 3 * size), banner_, size);
  }
  if (!flash_.isEmpty()) {
    // At the picture's top right, inside it.
    const QRect area = target.isValid() ? target.intersected(rect()) : rect();
    const int size = std::clamp(area.height() / 20, 14, 40);
    QFont font = painter.font();
    font.setPixelSize(size);
    font.setBold(true);
    const int w = std::min(area.width() - size, QFontMetrics(font).horizontalAdvance(flash_) + 2 * size);
    DrawBadge(painter, QRect(area.right() - w - size / 2, area.top() + size / 2, w, 2 * size), flash_,
              size);
  }
}

void PictureView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  pressed_ = true;
  dragging_ = false;
  pressAt_ = event->position().toPoint();
  // Kept within the edges, so that a drag back moves at once.
  const QRect placed = PictureRect();
  pan_ = placed.center() - rect().center();
  panAtPress_ = pan_;
}

void PictureView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  pressed_ = false;
  if (dragging_) {
    dragging_ = false;
    UpdateCursor();
    return;
  }
  if (afterDoubleClick_) {
    afterDoubleClick_ = false;
    return;
  }
  clickTimer_.start(QApplication::doubleClickInterval());
}

void PictureView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  clickTimer_.stop();
  afterDoubleClick_ = true;
  emit doubleClicked();
}

void PictureView::mouseMoveEvent(QMouseEvent* event) {
  emit mouseMoved();
  if (!pressed_ || !Pannable()) {
    UpdateCursor();
    return;
  }
  const QPoint moved = event->position().toPoint() - pressAt_;
  if (!dragging_ && moved.manhattanLength() < QApplication::startDragDistance()) return;
  dragging_ = true;
  pan_ = panAtPress_ + moved;
  UpdateCursor();
  update();
}

void PictureView::wheelEvent(QWheelEvent* event) {
  wheelRemainder_ += event->angleDelta().y();
  const int steps = wheelRemainder_ / 120;
  wheelRemainder_ -= steps * 120;
  if (steps != 0) emit wheelTurned(steps);
  event->accept();
}

}  // namespace sp::view
