// A picture box's drawing as a QImage over a fixed background. Needs QtGui only (no widget),
// so that it can also draw offscreen.
#pragma once

#include "qt/layer.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <functional>
#include <vector>

#include "window/platform/canvas.h"

namespace ferolan {

// RGB of a number of the 16-colour palette (out of range: black).
QColor palette_colour(int colour);

class QtCanvas : public Canvas {
 public:
  // The drawing area has the background's size in logical pixels; a background with a
  // device pixel ratio above 1 is drawn on at that many device pixels per logical pixel:
  // every coordinate keeps its logical place, lines keep one logical pixel's width.
  explicit QtCanvas(QImage background);

  void clear() override;
  void point(double x, double y, int colour) override;
  void line_to(double x, double y, int colour) override;
  void set_scale(double left, double top, double width, double height) override;

  // The picture with everything drawn so far.
  const QImage& image();
  // Logical pixels.
  QSize size() const { return logical_; }
  // Called once when something is drawn or cleared after the last image() call (the view
  // repaints).
  void set_on_change(std::function<void()> f) { on_change_ = std::move(f); }

 private:
  // Consecutive operations of one kind and colour, painted together on the next image().
  struct Run {
    int colour;
    bool is_point;
    size_t first, count;  // into pts_
  };

  bool to_pixel(double x, double y, QPoint& p) const;
  void touched();
  void paint_pending();

  QImage background_, image_;
  QSize logical_;
  double pixels_wide_, pixels_high_;  // the background's size, logical pixels
  double ratio_;                      // device pixels per logical pixel
  std::vector<QPoint> pts_;           // device pixels
  std::vector<QPointF> fine_;         // scratch of paint_pending at a ratio above 1
  std::vector<Run> runs_;
  bool open_ = false;       // the last run is a line that line_to may extend
  bool current_ok_ = true;  // the current point is a drawable pixel
  QPoint current_{0, 0};
  bool scaled_ = false, scale_ok_ = false;
  double left_ = 0, top_ = 0, width_ = 1, height_ = 1;
  bool dirty_ = false;
  std::function<void()> on_change_;
};

}  // namespace ferolan
