#include "window/state/module.h"

#include "window/search/run_control.h"
#include "window/ui/selection.h"

namespace ferolan {

Module::Module(Platform& desktop, Canvas& spectrs_box, Canvas& pict_e_box, Canvas& picture1_box)
    : platform(desktop), spectrs(spectrs_box), pict_e(pict_e_box), picture1(picture1_box) {
  ui.handler = this;
}

void Module::check_changed(Control& c) {
  switch (c.id) {
    case Ctl::Check1:
      Check1_Click(ui, c.index);
      break;
    case Ctl::Check2:
      Check2_Click(ui, c.index);
      break;
    case Ctl::Check3:
      Check3_changed(*this, c.index);
      break;
    case Ctl::Option2:
      Option2_Click(state.settings, c.index);
      break;
    default:
      break;
  }
}

}  // namespace ferolan
