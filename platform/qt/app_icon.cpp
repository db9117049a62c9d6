#include "platform/qt/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace sp {

namespace {

QPixmap DrawIcon(int side) {
  QPixmap pixmap(side, side);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(side / 32.0, side / 32.0);
  // The frame: a dark strip with sprocket holes top and bottom.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x30, 0x34, 0x3c));
  p.drawRoundedRect(QRectF(1, 4, 30, 24), 3, 3);
  p.setBrush(QColor(0xf0, 0xf0, 0xf0));
  for (int x = 3; x < 30; x += 6) {
    p.drawRect(QRectF(x, 5.5, 3, 2.5));
    p.drawRect(QRectF(x, 24, 3, 2.5));
  }
  p.setBrush(QColor(0x4a, 0x90, 0xd9));
  p.drawRect(QRectF(3, 10, 26, 12));
  QPainterPath play;
  play.moveTo(13, 12);
  play.lineTo(21, 16);
  play.lineTo(13, 20);
  play.closeSubpath();
  p.setBrush(Qt::white);
  p.drawPath(play);
  return pixmap;
}

}  // namespace

QIcon MakeAppIcon() {
  QIcon icon;
  icon.addPixmap(DrawIcon(32));
  icon.addPixmap(DrawIcon(64));
  return icon;
}

}  // namespace sp
