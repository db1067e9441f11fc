// The spectrum selection: Check3(1..50), Command7 (select all), Command8 (deselect all).
#pragma once

#include "window/layer.h"

#include "window/state/module.h"

namespace ferolan {

// Check3(s) changed (by the user or from code): spectrum_used(s) follows it.
void Check3_changed(Module& m, int s);
// The user clicked Check3(s): the forms' plot is cleared and the measured spectra redrawn
// with the selection as it is after the click.
void Check3_Click(Module& m, int s);
void Command7_Click(Module& m);
void Command8_Click(Module& m);

}  // namespace ferolan
