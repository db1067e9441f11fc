#include "qt/picture_box.h"

#include <QMouseEvent>
#include <QPainter>

#include "qt/qt_canvas.h"

namespace ferolan {

PictureBox::PictureBox(QWidget* parent, int border) : QWidget(parent), border_(border) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

PictureBox::~PictureBox() {
  if (canvas_) canvas_->set_on_change({});
}

void PictureBox::set_canvas(QtCanvas* canvas) {
  canvas_ = canvas;
  canvas_->set_on_change([this] { update(); });
  update();
}

void PictureBox::set_picture(const QImage& picture) {
  picture_ = picture;
  update();
}

void PictureBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().window());
  if (canvas_)
    p.drawImage(border_, border_, canvas_->image());
  else if (!picture_.isNull())
    p.drawImage(border_, border_, picture_);
  if (border_ > 0) {
    p.setPen(QColor(64, 64, 64));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton;
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
  const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->pos());
  pressed_ = false;
  if (click) emit clicked();
}

}  // namespace ferolan
