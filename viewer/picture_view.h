#pragma once

#include <QImage>
#include <QString>
#include <QTimer>
#include <QWidget>

namespace sp::view {

// The recording's picture on a black ground: scaled to the widget keeping
// its aspect ratio (smoothly), or 1:1 and centred; at 1:1 a picture larger
// than the widget is moved by dragging it. Messages of the moment
// ("1.25x", "Volume 80%") are drawn over it for a little while.
class PictureView : public QWidget {
  Q_OBJECT

 public:
  explicit PictureView(QWidget* parent = nullptr);

  // `image` must stay valid until the next call; `changed` is the part of
  // it, in picture pixels, that differs from the picture shown before.
  void Show(const QImage& image, const QRect& changed);
  void Clear();
  void SetOneToOne(bool oneToOne);
  bool OneToOne() const { return oneToOne_; }
  // Shown at the top right for a moment; an empty text removes it.
  void Flash(const QString& text);
  // Shown in the middle until cleared: a pause sign, or why nothing plays.
  void SetBanner(const QString& text);
  const QString& Banner() const { return banner_; }
  // Where the picture lies in the widget.
  QRect PictureRect() const;
  // At 1:1, whether the picture is larger than the widget (it can be dragged).
  bool Pannable() const;

 signals:
  void clicked();
  void doubleClicked();
  void wheelTurned(int steps);
  void mouseMoved();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void UpdateCursor();
  QImage image_;
  bool oneToOne_ = false;
  QString flash_;
  QString banner_;
  QTimer flashTimer_;
  // A click waits for the double-click time, so that a double click
  // (full screen) does not also pause.
  QTimer clickTimer_;
  bool afterDoubleClick_ = false;
  // At 1:1: the picture's centre, away from the widget's, in pixels.
  QPoint pan_;
  QPoint pressAt_;
  QPoint panAtPress_;
  bool pressed_ = false;
  bool dragging_ = false;  // a press that moved far enough is no click
  int wheelRemainder_ = 0;
};

}  // namespace sp::view
