#include "qt/qt_canvas.h"

#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace ferolan {

namespace {
// Far outside any picture, yet safe for the rasteriser's fixed-point arithmetic.
constexpr double kFar = 1.0e5;
}  // namespace

QColor palette_colour(int colour) {
  return QColor(static_cast<QRgb>(0xFF000000u | palette_rgb(colour)));
}

QtCanvas::QtCanvas(QImage background)
    : background_(background.convertToFormat(QImage::Format_RGB32)),
      image_(background_),
      logical_(background_.deviceIndependentSize().toSize()),
      pixels_wide_(background_.deviceIndependentSize().width()),
      pixels_high_(background_.deviceIndependentSize().height()),
      ratio_(background_.devicePixelRatio()) {}

namespace {
// std::lround for |x| <= kFar: halves away from zero.
int round_half_away(double x) {
  int i = static_cast<int>(x);
  const double rest = x - i;
  if (rest >= 0.5) ++i;
  if (rest <= -0.5) --i;
  return i;
}
}  // namespace

bool QtCanvas::to_pixel(double x, double y, QPoint& p) const {
  if (scaled_) {
    if (!scale_ok_) return false;
    x = (x - left_) * pixels_wide_ / width_;
    y = (y - top_) * pixels_high_ / height_;
  }
  if (!std::isfinite(x) || !std::isfinite(y)) return false;
  if (ratio_ != 1) {
    x *= ratio_;
    y *= ratio_;
  }
  x = std::clamp(x, -kFar, kFar);
  y = std::clamp(y, -kFar, kFar);
  p = QPoint(round_half_away(x), round_half_away(y));
  return true;
}

void QtCanvas::touched() {
  if (dirty_) return;
  dirty_ = true;
  if (on_change_) on_change_();
}

void QtCanvas::clear() {
  pts_.clear();
  runs_.clear();
  open_ = false;
  current_ = QPoint(0, 0);
  current_ok_ = true;
  // Into the picture's own pixels when it has them: sharing the background would make the
  // next drawing copy it into a new allocation (and fault in fresh pages) every time.
  if (image_.isDetached() && image_.size() == background_.size() &&
      image_.format() == background_.format())
    std::memcpy(image_.bits(), background_.constBits(), static_cast<size_t>(image_.sizeInBytes()));
  else
    image_ = background_;
  touched();
}

void QtCanvas::point(double x, double y, int colour) {
  touched();
  open_ = false;
  current_ok_ = to_pixel(x, y, current_);
  if (!current_ok_) return;
  runs_.push_back({colour, true, pts_.size(), 1});
  pts_.push_back(current_);
}

void QtCanvas::line_to(double x, double y, int colour) {
  touched();
  QPoint p;
  if (!to_pixel(x, y, p)) {
    // A point that cannot be placed breaks the curve; drawing resumes at the next one.
    open_ = false;
    current_ok_ = false;
    return;
  }
  if (!current_ok_) {
    current_ = p;
    current_ok_ = true;
    return;
  }
  // Most of a 1000-point spectrum falls on pixels already reached: nothing to add.
  if (p == current_ && open_ && runs_.back().colour == colour) return;
  if (!open_ || runs_.back().colour != colour) {
    runs_.push_back({colour, false, pts_.size(), 1});
    pts_.push_back(current_);
    open_ = true;
  }
  pts_.push_back(p);
  ++runs_.back().count;
  current_ = p;
}

void QtCanvas::set_scale(double left, double top, double width, double height) {
  // A scale without extent maps nothing: nothing is drawn until a usable scale is set.
  scaled_ = true;
  scale_ok_ = width != 0 && height != 0 && std::isfinite(width) && std::isfinite(height) &&
              std::isfinite(left) && std::isfinite(top);
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
}

void QtCanvas::paint_pending() {
  if (runs_.empty()) return;
  QPainter painter(&image_);
  painter.setRenderHint(QPainter::Antialiasing, false);
  int pen_colour = -1;
  for (const Run& r : runs_) {
    if (r.colour != pen_colour) {
      pen_colour = r.colour;
      // Finer than a logical pixel: a pen one logical pixel wide, centred on the middle of
      // the square that starts at the device pixel, covers that square as a 1-pixel pen
      // covers its pixel.
      painter.setPen(QPen(palette_colour(r.colour), ratio_ == 1 ? 0 : 1));
    }
    if (ratio_ == 1) {
      if (r.is_point)
        painter.drawPoint(pts_[r.first]);
      else
        painter.drawPolyline(&pts_[r.first], static_cast<int>(r.count));
      continue;
    }
    fine_.clear();
    for (size_t i = r.first; i < r.first + r.count; ++i)
      fine_.emplace_back(pts_[i].x() / ratio_ + 0.5, pts_[i].y() / ratio_ + 0.5);
    if (r.is_point)
      painter.drawPoint(fine_[0]);
    else
      painter.drawPolyline(fine_.data(), static_cast<int>(fine_.size()));
  }
  pts_.clear();
  runs_.clear();
  open_ = false;
}

const QImage& QtCanvas::image() {
  paint_pending();
  dirty_ = false;
  return image_;
}

}  // namespace ferolan
