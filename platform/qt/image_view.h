#pragma once

#include <QWidget>

namespace sp {

class Form;
class FormWindow;

// The form's image control: its picture bitmap drawn 1:1 at its top-left,
// the rest of the control in the form's colour.
class ImageView : public QWidget {
 public:
  ImageView(FormWindow& window, Form& form);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  FormWindow& window_;
  Form& form_;
  bool leftPressed_ = false;
};

}  // namespace sp
