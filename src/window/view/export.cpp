#include "window/view/export.h"

#include "engine/format/forms_table.h"

namespace ferolan {

void Command4_Click(Module& m) {
  m.pf.set_clipboard_text(forms_export_text(m.st.data, m.st.settings, m.st.calc, m.dec()));
}

}  // namespace ferolan
