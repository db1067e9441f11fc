// A picture box to draw on, in pixels (origin top-left, y down) unless user coordinates are set.
#pragma once

#include "window/layer.h"

#include "engine/format/palette.h"

namespace ferolan {

class Canvas {
 public:
  virtual ~Canvas() = default;
  // Removes everything drawn; the background picture stays; user coordinates are kept.
  virtual void clear() = 0;
  // Plots one pixel at (x, y) and makes it the current point.
  virtual void point(double x, double y, int colour) = 0;
  // Straight line from the current point to (x, y), which becomes the current point.
  virtual void line_to(double x, double y, int colour) = 0;
  // User coordinates: (left, top) is the top-left corner, the box spans width × height units.
  virtual void set_scale(double left, double top, double width, double height) = 0;
};

}  // namespace ferolan
