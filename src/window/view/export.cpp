#include "window/view/export.h"

#include "engine/format/forms_table.h"

namespace ferolan {

void Command4_Click(Module& m) {
  m.platform.set_clipboard_text(
      forms_export_text(m.state.data, m.state.settings, m.state.calc, m.decimal()));
}

}  // namespace ferolan
