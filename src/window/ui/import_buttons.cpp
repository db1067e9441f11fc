#include "window/ui/import_buttons.h"

#include <memory>
#include <string>

#include "engine/format/format.h"
#include "engine/import/import.h"
#include "engine/import/import_common.h"
#include "window/view/plots.h"

namespace ferolan {

void commit_import(Module& m, const DataSet& parsed) {
  Controls& ui = m.ui;
  DataSet& d = m.state.data;
  ui.set_text(ui.LabC, format_single(parsed.acid_conc, "#.#0e+00", m.decimal()));
  d = parsed;
  sort_by_ph(d);
  find_a_max(d);

  // Drawn first with the previous selection, then again with the new one.
  m.pict_e.clear();
  vyvid_vymiryanyh_spectriv(d, m.view, m.spectrs);
  picpH(d, m.view, m.picture1);

  for (int i = 1; i <= kWindowSpectra; ++i) {
    ui.set_enabled(ui.Check3[i], false);
    ui.set_text(ui.Check3[i], "");
    ui.set_checked(ui.Check3[i], false);  // its handler keeps spectrum_used in step
    d.spectrum_used[i] = 0;
  }
  for (int s = 1; s <= d.n_spectra; ++s) {
    ui.set_enabled(ui.Check3[s], true);
    ui.set_text(ui.Check3[s], format_single(d.ph_values[s], "0.00", m.decimal()));
    ui.set_checked(ui.Check3[s], true);
    d.spectrum_used[s] = 1;
  }

  m.pict_e.clear();
  vyvid_vymiryanyh_spectriv(d, m.view, m.spectrs);

  for (Control* c : {&ui.Command2, &ui.Command6, &ui.Command9, &ui.Command7, &ui.Command8})
    ui.set_enabled(*c, true);
  ui.set_enabled(ui.Command4, false);  // no forms' spectra for the new data yet
}

bool run_import(Module& m, ImportParser parse, std::string_view text, const Control& button) {
  auto work = std::make_unique<DataSet>(m.state.data);
  std::string problem;
  if (!parse(text, *work, problem)) {
    m.ui.say(button, problem);
    return false;
  }
  // The problem of an earlier attempt no longer holds.
  if (std::string_view(m.ui.Label9.text).starts_with(kImportProblem)) {
    m.ui.said_by = nullptr;
    show_hint(m.ui, button);
  }
  commit_import(m, *work);
  return true;
}

bool Command5_Click(Module& m) {
  const std::string text = m.platform.clipboard_text();
  return run_import(m, parse_clipboard_table, text, m.ui.Command5);
}

bool load_Click(Module& m) {
  const std::optional<std::string> text = m.platform.read_file("data.mdf");
  if (!text) {
    m.ui.say(m.ui.load, import_problem("не вдалося прочитати файл data.mdf з робочої папки " +
                                       m.platform.working_folder() + "."));
    return false;
  }
  return run_import(m, parse_mdf, *text, m.ui.load);
}

}  // namespace ferolan
