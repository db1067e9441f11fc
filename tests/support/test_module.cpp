#include "test_module.h"

namespace ferolan::testing {

TestModule::TestModule() : m(std::make_unique<Module>(pf, spectrs, pict_e, picture1)) {
  form_load(m->state, m->ui);
}

void load_data(Module& m, const DataSet& data) {
  m.state.data = data;
  m.state.data.reserve(kWindowSpectra, kWindowPoints);  // as the window's own data set
  Controls& ui = m.ui;
  for (int s = 1; s <= kWindowSpectra; ++s) {
    const bool held = s <= data.n_spectra;
    ui.set_checked(ui.Check3[s], held);
    ui.set_enabled(ui.Check3[s], held);
    m.state.data.spectrum_used[s] = held ? 1 : 0;
  }
  for (Control* c : {&ui.Command2, &ui.Command6, &ui.Command9, &ui.Command7, &ui.Command8})
    ui.set_enabled(*c, true);
}

}  // namespace ferolan::testing
