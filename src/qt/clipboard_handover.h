// Keeping copied text alive after the program ends.
#pragma once

#include "qt/layer.h"

namespace ferolan {

// When this program owns the clipboard, asks the desktop's clipboard manager to take a copy
// of it (X11: SAVE_TARGETS on the CLIPBOARD_MANAGER selection) and serves the manager's
// requests until it answers or timeout_ms have passed. Returns at once when the program does
// not own the clipboard, no manager runs, or the desktop is not X11.
void hand_over_clipboard(int timeout_ms);

}  // namespace ferolan
