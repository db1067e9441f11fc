// What the window manager offers for a window that keeps one size.
#pragma once

#include "qt/layer.h"

class QWidget;

namespace ferolan {

// Offers moving, minimising and closing only: no maximise button and no resizing border.
// Qt's window flags leave resizing advertised on X11 (its _MOTIF_WM_HINTS always carry
// resize when they name any function), so there the property is written over Qt's once the
// native window exists and before it is mapped. Call it before the window is shown.
void fixed_size_functions(QWidget* window);

}  // namespace ferolan
