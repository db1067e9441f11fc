#pragma once

#include "window/layer.h"

#include <string>

#include "engine/format/forms_table.h"
#include "window/state/module.h"

namespace ferolan {

// Command4 ("Копіювати спектри форм"): the export text onto the clipboard.
void Command4_Click(Module& m);

}  // namespace ferolan
