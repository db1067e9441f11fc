// Small numeric guards of the diagrams.
#pragma once

#include "window/layer.h"

#include <algorithm>
#include <cmath>

namespace ferolan {

// A coordinate the canvas can take: never NaN or infinite (such points go far off the box).
inline double drawable(double v) {
  if (std::isnan(v)) return 1e9;
  return std::clamp(v, -1e9, 1e9);
}

}  // namespace ferolan
