// The picture's widget alone, on Qt's off-screen platform: at 1:1 a picture
// larger than the widget is dragged into view, and a drag is no click.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <cstdlib>

#include "viewer/picture_view.h"

namespace sp::view {
namespace {

void Mouse(QWidget& widget, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
  const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent event(type, QPointF(at), widget.mapToGlobal(QPointF(at)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(&widget, &event);
}

void Drag(QWidget& widget, QPoint from, QPoint to) {
  Mouse(widget, QEvent::MouseButtonPress, from, Qt::LeftButton);
  Mouse(widget, QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
  Mouse(widget, QEvent::MouseMove, to, Qt::LeftButton);
  Mouse(widget, QEvent::MouseButtonRelease, to, Qt::NoButton);
}

TEST(PictureView, AtActualSizeALargerPictureIsDraggedWithinItsEdgesAndADragIsNoClick) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int argc = 1;
  char name[] = "viewer_picture_tests";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);

  PictureView view;
  view.resize(400, 300);
  view.show();
  QImage picture(1000, 700, QImage::Format_RGB32);
  picture.fill(Qt::darkCyan);
  view.Show(picture, QRect());
  QSignalSpy clicks(&view, &PictureView::clicked);

  // Fitted, nothing moves and a press is a click.
  EXPECT_FALSE(view.Pannable());
  const QRect fitted = view.PictureRect();
  Drag(view, {200, 150}, {300, 200});
  EXPECT_EQ(view.PictureRect(), fitted);

  view.SetOneToOne(true);
  ASSERT_TRUE(view.Pannable());
  EXPECT_EQ(view.PictureRect(), QRect(-300, -200, 1000, 700));  // centred
  QTest::qWait(QApplication::doubleClickInterval() + 100);
  clicks.clear();

  Drag(view, {200, 150}, {300, 100});
  EXPECT_EQ(view.PictureRect(), QRect(-200, -250, 1000, 700));
  // Far past the edge, the picture's corner stops at the widget's.
  Drag(view, {200, 150}, {1400, 1150});
  EXPECT_EQ(view.PictureRect().topLeft(), QPoint(0, 0));
  Drag(view, {390, 290}, {-2000, -2000});
  EXPECT_EQ(view.PictureRect().bottomRight(), QPoint(399, 299));
  QTest::qWait(QApplication::doubleClickInterval() + 100);
  EXPECT_EQ(clicks.count(), 0);

  // A press that does not move still pauses.
  Mouse(view, QEvent::MouseButtonPress, {200, 150}, Qt::LeftButton);
  Mouse(view, QEvent::MouseButtonRelease, {200, 150}, Qt::NoButton);
  EXPECT_TRUE(clicks.wait(QApplication::doubleClickInterval() + 2000));

  // Back to fitting, and at 1:1 again it starts centred.
  view.SetOneToOne(false);
  EXPECT_EQ(view.PictureRect(), fitted);
  view.SetOneToOne(true);
  EXPECT_EQ(view.PictureRect(), QRect(-300, -200, 1000, 700));
}

}  // namespace
}  // namespace sp::view
