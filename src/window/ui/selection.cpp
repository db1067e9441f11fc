#include "window/ui/selection.h"

#include "window/view/plots.h"

namespace ferolan {

namespace {
void redraw(Module& m) {
  m.pict_e.clear();
  vyvid_vymiryanyh_spectriv(m.state.data, m.view, m.spectrs);
}

void set_all(Module& m, bool on) {
  for (int s = 1; s <= m.state.data.n_spectra; ++s) {
    m.state.data.spectrum_used[s] = on ? 1 : 0;
    m.ui.set_checked(m.ui.Check3[s], on);
  }
  redraw(m);
}
}  // namespace

void Check3_changed(Module& m, int s) {
  m.state.data.spectrum_used[s] = m.ui.Check3[s].checked ? 1 : 0;
}

void Check3_Click(Module& m, int /*s*/) {
  redraw(m);
}

void Command7_Click(Module& m) {
  set_all(m, true);
}
void Command8_Click(Module& m) {
  set_all(m, false);
}

}  // namespace ferolan
