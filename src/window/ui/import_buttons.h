// The two import buttons: parse into a working copy, then make it the data set and show it.
#pragma once

#include "window/layer.h"

#include <string_view>

#include "engine/data/state.h"
#include "window/state/module.h"

namespace ferolan {

// Makes parsed the data set: LabC, sort, a_max, drawing, selection boxes, buttons.
void commit_import(Module& m, const DataSet& parsed);

// Runs one import: parse into a copy of the current data set, then commit it, or leave
// everything as it was and show the problem in the hint line.
using ImportParser = bool (*)(std::string_view, DataSet&, std::string&);
bool run_import(Module& m, ImportParser parse, std::string_view text, const Control& button);

// Command5 ("Вставити") and load ("Витягнути з data.mdf"). Return false on a failed import.
bool Command5_Click(Module& m);
bool load_Click(Module& m);

}  // namespace ferolan
