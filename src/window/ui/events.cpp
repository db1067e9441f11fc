#include "window/ui/events.h"

#include <utility>

#include "engine/import/import.h"
#include "window/search/run_control.h"
#include "window/search/searches.h"
#include "window/ui/import_buttons.h"
#include "window/ui/selection.h"
#include "window/view/export.h"
#include "window/view/plots.h"

namespace ferolan {

namespace {
bool is_search_button(const Control& c) {
  return c.id == Ctl::Command2 || c.id == Ctl::Command6 || c.id == Ctl::Command9;
}
}  // namespace

void on_click(Module& m, Control& c) {
  if (!c.enabled) return;
  // The stop request enables Command2 while the stopped search still runs: never nest.
  if (m.running && is_search_button(c)) return;
  switch (c.id) {
    case Ctl::Command1:
      Command1_Click(m);
      break;
    case Ctl::Command2:
      Command2_Click(m);
      break;
    case Ctl::Command4:
      Command4_Click(m);
      break;
    case Ctl::Command5:
      Command5_Click(m);
      break;
    case Ctl::Command6:
      Command6_Click(m);
      break;
    case Ctl::Command7:
      Command7_Click(m);
      break;
    case Ctl::Command8:
      Command8_Click(m);
      break;
    case Ctl::Command9:
      Command9_Click(m);
      break;
    case Ctl::load:
      load_Click(m);
      break;
    case Ctl::Picture2:
      // The desktop's handler may answer only after the click has returned.
      m.platform.open_document("help.doc", [&m, &c] {
        m.ui.say(c, "Не вдалося відкрити довідку help.doc з робочої папки " +
                        m.platform.working_folder() +
                        ": файлу там немає або на комп'ютері немає програми для файлів .doc.");
      });
      break;
    default:
      break;
  }
}

void on_user_check(Module& m, Control& c, bool checked) {
  if (!c.enabled) return;
  m.ui.set_checked(c, checked);
  if (c.id == Ctl::Check3) Check3_Click(m, c.index);
}

void on_user_text(Module& /*m*/, Control& c, std::string text) {
  // The window already shows what the user typed: store it without echoing it back.
  c.text = std::move(text);
}

void on_mouse_move(Module& m, Control& c, double x, double y) {
  if (!keeps_said(m.ui, c)) show_hint(m.ui, c);
  std::string tip;
  switch (c.id) {
    case Ctl::spectrs:
      tip = spectrs_readout(m.state.data, m.view, x, y, m.decimal());
      break;
    case Ctl::Pict_e:
      tip = pict_e_readout(m.state.data, m.view, x, m.decimal());
      break;
    case Ctl::Picture1:
      tip = picture1_readout(m.state.data, m.view, x, m.decimal());
      break;
    default:
      return;
  }
  if (!tip.empty()) m.ui.set_tooltip(c, std::move(tip));
}

}  // namespace ferolan
