// What the window forwards to the core: clicks, the user's check and text changes,
// mouse moves. The Qt layer calls only these.
#pragma once

#include "window/layer.h"

#include <string>

#include "window/state/module.h"

namespace ferolan {

void on_click(Module& m, Control& c);                        // buttons and Picture2
void on_user_check(Module& m, Control& c, bool checked);     // check boxes and options
void on_user_text(Module& m, Control& c, std::string text);  // text boxes
// Pointer at pixel (x, y) of c (for the picture boxes: of their drawing area).
void on_mouse_move(Module& m, Control& c, double x, double y);

}  // namespace ferolan
