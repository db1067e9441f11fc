// A canvas for tests: records every drawing operation with its coordinates and colour.
#pragma once

#include <vector>

#include "window/platform/canvas.h"

namespace ferolan::testing {

struct DrawOp {
  enum Kind { Point, Line } kind;
  double x, y;  // end point (a line starts at the previous op's point)
  int colour;
};

class RecordingCanvas : public Canvas {
 public:
  void clear() override {
    ops.clear();
    ++clears;
  }
  void point(double x, double y, int colour) override {
    ops.push_back({DrawOp::Point, x, y, colour});
  }
  void line_to(double x, double y, int colour) override {
    ops.push_back({DrawOp::Line, x, y, colour});
  }
  void set_scale(double left, double top, double width, double height) override {
    scale_left = left;
    scale_top = top;
    scale_width = width;
    scale_height = height;
    ++scales;
  }

  std::vector<DrawOp> ops;  // since the last clear
  int clears = 0;
  int scales = 0;
  double scale_left = 0, scale_top = 0, scale_width = 0, scale_height = 0;
};

}  // namespace ferolan::testing
