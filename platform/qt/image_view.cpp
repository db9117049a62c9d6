#include "platform/qt/image_view.h"

#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include "platform/form.h"
#include "platform/qt/form_window.h"
#include "platform/qt/qt_color.h"

namespace sp {

ImageView::ImageView(FormWindow& window, Form& form)
    : QWidget(&window), window_(window), form_(form) {
  // Every pixel is painted here; Qt need not clear the background first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void ImageView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const Bitmap& picture = form_.Image().picture;
  const QRect area = event->rect();
  QRect pictureArea;
  if (!picture.IsEmpty()) {
    // Format_RGB32 is 0xffRRGGBB per pixel and ignores the top byte, so
    // the bitmap's 0x00RRGGBB rows are shown as they are, without a copy.
    const QImage image(reinterpret_cast<const uchar*>(picture.Data()), picture.Width(),
                       picture.Height(), picture.Width() * 4, QImage::Format_RGB32);
    pictureArea = area.intersected(image.rect());
    if (!pictureArea.isEmpty()) painter.drawImage(pictureArea.topLeft(), image, pictureArea);
  }
  const QRegion rest = QRegion(area).subtracted(pictureArea);
  for (const QRect& r : rest) painter.fillRect(r, ToQColor(form_.GetColor()));
}

void ImageView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    leftPressed_ = true;
    event->accept();
  } else {
    event->ignore();
  }
}

// A click is a left press and release both on the control, as a button
// click is.
void ImageView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  const bool click = leftPressed_ && rect().contains(event->position().toPoint());
  leftPressed_ = false;
  if (click) form_.HandleImageClick();
}

}  // namespace sp
