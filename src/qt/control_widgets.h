// One Qt widget per control of the model: creation, and mirroring a control's state.
#pragma once

#include "qt/layer.h"

#include <QRect>
#include <QWidget>

#include "window/ui/controls.h"

namespace ferolan {

// The control's rectangle in pixels, relative to its parent.
QRect control_rect(const Control& c);

// Width in pixels of the progress bar Label5 for a caption of n characters: the start
// caption of two spaces keeps its 20 pixels and 28 spaces fill the 240-pixel track.
int progress_bar_width(int n);

// A widget for c inside parent, placed, coloured and showing c's state.
QWidget* make_widget(const Control& c, QWidget* parent);

// Brings w up to date with c: text, tooltip, enabled, checked.
void apply_state(QWidget* w, const Control& c);

// UTF-8 from the model to a QString.
QString qstr(const std::string& s);

}  // namespace ferolan
