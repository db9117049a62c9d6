#include "viewer/seek_bar.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace sp::view {

namespace {

const QColor kAccent(0x3d, 0xa5, 0xff);

// A small window under no control of the layout: the hover picture and time.
class HoverPopup : public QWidget {
 public:
  HoverPopup() : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(3, 3, 3, 3);
    layout->setSpacing(2);
    picture_ = new QLabel(this);
    time_ = new QLabel(this);
    time_->setAlignment(Qt::AlignCenter);
    layout->addWidget(picture_);
    layout->addWidget(time_);
    setStyleSheet("background: #202020; color: white;");
  }
  void Set(const QImage& image, const QString& time) {
    picture_->setVisible(!image.isNull());
    if (!image.isNull()) picture_->setPixmap(QPixmap::fromImage(image));
    time_->setText(time);
    adjustSize();
  }

 private:
  QLabel* picture_;
  QLabel* time_;
};

}  // namespace

QString FormatTime(double milliseconds) {
  const int64_t total = static_cast<int64_t>(std::max(0.0, milliseconds) / 1000.0);
  const int64_t h = total / 3600;
  const int64_t m = total / 60 % 60;
  const int64_t s = total % 60;
  if (h > 0) return QString::asprintf("%lld:%02lld:%02lld", static_cast<long long>(h),
                                      static_cast<long long>(m), static_cast<long long>(s));
  return QString::asprintf("%lld:%02lld", static_cast<long long>(m), static_cast<long long>(s));
}

SeekBar::SeekBar(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setMinimumHeight(24);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::NoFocus);
}

SeekBar::~SeekBar() { delete popup_; }

void SeekBar::SetDuration(double milliseconds) {
  duration_ = std::max(0.0, milliseconds);
  readableEnd_ = duration_;
  update();
}

void SeekBar::SetReadableEnd(double milliseconds) {
  readableEnd_ = std::clamp(milliseconds, 0.0, duration_);
  update();
}

void SeekBar::SetPosition(double milliseconds) {
  const int before = XOf(position_);
  position_ = std::clamp(milliseconds, 0.0, ReadableEnd());
  const int after = XOf(position_);
  // Only the stretch between the knob's two places (the knob is 7 px in
  // radius): while playing, the bar moves a few pixels at a time.
  if (after != before) update(QRect(std::min(before, after) - 9, 0, std::abs(after - before) + 19, height()));
}

void SeekBar::SetMarks(std::vector<double> milliseconds) {
  marks_ = std::move(milliseconds);
  update();
}

QRect SeekBar::Groove() const { return QRect(8, height() / 2 - 3, width() - 16, 6); }

double SeekBar::TimeAt(int x) const {
  const QRect g = Groove();
  if (g.width() <= 0) return 0;
  return std::clamp(static_cast<double>(x - g.left()) / g.width(), 0.0, 1.0) * duration_;
}

int SeekBar::XOf(double milliseconds) const {
  const QRect g = Groove();
  if (duration_ <= 0) return g.left();
  return g.left() + static_cast<int>(std::lround(milliseconds / duration_ * g.width()));
}

void SeekBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing, true);
  const QRect g = Groove();
  QPainterPath groove;
  groove.addRoundedRect(g, 3, 3);
  painter.fillPath(groove, QColor(255, 255, 255, 60));
  const int x = XOf(position_);
  QPainterPath played;
  played.addRoundedRect(QRect(g.left(), g.top(), x - g.left(), g.height()), 3, 3);
  painter.fillPath(played, kAccent);
  painter.setPen(Qt::NoPen);
  if (ReadableEnd() < duration_) {
    // Past the damage: struck out in red, and a post where the reading ends.
    const int end = XOf(ReadableEnd());
    const QRect lost(end, g.top(), g.right() - end + 1, g.height());
    QPainterPath lostPath;
    lostPath.addRoundedRect(lost, 3, 3);
    painter.fillPath(lostPath, QColor(150, 45, 45));
    painter.fillPath(lostPath, QBrush(QColor(240, 110, 110), Qt::BDiagPattern));
    painter.setBrush(QColor(230, 70, 70));
    painter.drawRect(QRectF(end - 1.5, g.top() - 5, 3, g.height() + 10));
  }
  painter.setBrush(QColor(255, 220, 90));
  for (double mark : marks_) {
    painter.drawRect(QRectF(XOf(mark) - 1, g.top() - 3, 2, g.height() + 6));
  }
  if (hoverX_ >= 0) {
    painter.setBrush(QColor(255, 255, 255, 140));
    painter.drawRect(QRectF(hoverX_ - 0.5, g.top() - 2, 1, g.height() + 4));
  }
  // No knob while there is nothing to move through.
  if (!isEnabled()) return;
  painter.setBrush(Qt::white);
  painter.drawEllipse(QPointF(x, g.center().y() + 0.5), 7, 7);
}

void SeekBar::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  dragging_ = true;
  emit seekRequested(std::min(TimeAt(static_cast<int>(event->position().x())), ReadableEnd()));
}

void SeekBar::mouseMoveEvent(QMouseEvent* event) {
  const int x = static_cast<int>(event->position().x());
  if (dragging_) emit seekRequested(std::min(TimeAt(x), ReadableEnd()));
  ShowHover(x);
}

void SeekBar::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }

void SeekBar::leaveEvent(QEvent*) {
  hoverX_ = -1;
  if (popup_) popup_->hide();
  update();
}

void SeekBar::ShowHover(int x) {
  hoverX_ = std::clamp(x, Groove().left(), Groove().right());
  update();
  if (duration_ <= 0) return;
  if (!popup_) popup_ = new HoverPopup;
  const double at = TimeAt(hoverX_);
  auto* popup = static_cast<HoverPopup*>(popup_);
  if (at > ReadableEnd()) {
    popup->Set(QImage(), FormatTime(at) + "  damaged: not readable");
  } else {
    popup->Set(preview_ ? preview_(at) : QImage(), FormatTime(at));
  }
  const QPoint global = mapToGlobal(QPoint(hoverX_ - popup->width() / 2, -popup->height() - 6));
  popup->move(global);
  popup->show();
}

}  // namespace sp::view
