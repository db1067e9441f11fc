// The frame of a running search: locking, stop, slot boxes, level, displays, finish.
#pragma once

#include <string>

#include "state/module.h"

namespace ferolan {

void shovaty(Controls& ui);   // run lock
void pokazaty(Controls& ui);  // run unlock
void Command1_Click(Module& m);  // stop request
void Check1_Click(Controls& ui, int n);
void Check2_Click(Controls& ui, int n);
void Option1_Click(SearchState& search, int n);
void Option2_Click(Settings& settings, int n);

}  // namespace ferolan
