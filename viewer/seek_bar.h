#pragma once

#include <QImage>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <vector>

namespace sp::view {

// The recording's time line: what has played, where the picture stands,
// the scene marks, and under the pointer the time (and a small picture)
// of that moment. Dragging or clicking asks for a seek.
class SeekBar : public QWidget {
  Q_OBJECT

 public:
  explicit SeekBar(QWidget* parent = nullptr);
  ~SeekBar() override;

  void SetDuration(double milliseconds);
  // Where a damaged recording stops being readable (the duration otherwise):
  // the rest of the bar is drawn struck out and cannot be sought to.
  void SetReadableEnd(double milliseconds);
  void SetPosition(double milliseconds);
  double Duration() const { return duration_; }
  double ReadableEnd() const { return std::min(readableEnd_, duration_); }
  void SetMarks(std::vector<double> milliseconds);
  // Gives the small picture for a moment; none: only the time is shown.
  void SetPreview(std::function<QImage(double milliseconds)> preview) { preview_ = std::move(preview); }
  QSize sizeHint() const override { return {400, 28}; }

 signals:
  void seekRequested(double milliseconds);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  QRect Groove() const;
  double TimeAt(int x) const;
  int XOf(double milliseconds) const;
  void ShowHover(int x);

  double duration_ = 0;
  double readableEnd_ = 0;
  double position_ = 0;
  std::vector<double> marks_;
  bool dragging_ = false;
  int hoverX_ = -1;
  std::function<QImage(double)> preview_;
  QWidget* popup_ = nullptr;
};

// "1:05", "1:02:03": a time as the viewer writes it.
QString FormatTime(double milliseconds);

}  // namespace sp::view
