// The pictures stored with the window, drawn in code: the legend of the forms' plot, the
// plain background of the dA/dpH diagram and the help symbol.
#pragma once

#include <QImage>

namespace ferolan {

QImage pict_e_background();    // 401 × 253, white, legend of the six forms along the top
QImage picture1_background();  // 170 × 110, plain white
QImage spectrs_background();   // 401 × 253, plain white
QImage help_picture();         // 67 × 54

}  // namespace ferolan
