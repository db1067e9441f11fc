#include "window/view/export.h"

#include "engine/format/format.h"

namespace ferolan {

std::string forms_export_text(const DataSet& data, const Settings& settings, const CalcState& calc,
                              char dec) {
  // Forms 1 and 2 always; form j (3..6) while the constant before it is present.
  int forms = 2;
  while (forms < kForms && calc.ka[forms] != 0) ++forms;
  std::string text;
  for (int w = 1; w <= data.n_wavelengths; ++w) {
    text += format_mask(data.wavelengths[w], "#000", dec);
    for (int j = 1; j <= forms; ++j) {
      text += '\t';
      text += format_general(calc.eps_forms[w][j] / settings.path_len, dec);
    }
    text += "\r\n";
  }
  return text;
}

void Command4_Click(Module& m) {
  m.pf.set_clipboard_text(forms_export_text(m.st.data, m.st.settings, m.st.calc, m.dec()));
}

}  // namespace ferolan
