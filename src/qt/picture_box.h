// A picture box: shows a canvas (or a fixed picture) inside an optional 1-pixel border.
#pragma once

#include "qt/layer.h"

#include <QImage>
#include <QWidget>

namespace ferolan {

class QtCanvas;

class PictureBox : public QWidget {
  Q_OBJECT
 public:
  PictureBox(QWidget* parent, int border);
  ~PictureBox() override;
  // The box shows the canvas and repaints whenever the canvas changes.
  void set_canvas(QtCanvas* canvas);
  void set_picture(const QImage& picture);
  int border() const { return border_; }

 signals:
  void clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  int border_;
  QtCanvas* canvas_ = nullptr;
  QImage picture_;
  bool pressed_ = false;
};

}  // namespace ferolan
