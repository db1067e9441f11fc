// The pictures stored with the window, drawn in code: the legend of the forms' plot, the
// plain background of the dA/dpH diagram and the help symbol. Sizes are logical pixels; a
// ratio above 1 draws them with that many device pixels per logical pixel (a high-density
// screen), so that they stay sharp.
#pragma once

#include "qt/layer.h"

#include <QImage>

namespace ferolan {

QImage pict_e_background(qreal ratio = 1);    // 401 × 253, white, legend of the six forms
QImage picture1_background(qreal ratio = 1);  // 170 × 110, plain white
QImage spectrs_background(qreal ratio = 1);   // 401 × 253, plain white
QImage help_picture(qreal ratio = 1);         // 67 × 54
// The ratio of device to logical pixels the pictures are drawn at: the densest screen's.
qreal picture_ratio();

}  // namespace ferolan
