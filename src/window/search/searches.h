// The three searches, each the whole click of its button.
#pragma once

#include "window/layer.h"

#include "window/state/module.h"

namespace ferolan {

void Command2_Click(Module& m);  // optimisation
void Command6_Click(Module& m);  // manual grid
void Command9_Click(Module& m);  // automatic grid

}  // namespace ferolan
