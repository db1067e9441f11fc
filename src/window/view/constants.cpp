#include "window/view/constants.h"

#include "engine/format/format.h"

namespace ferolan {

void vyvid_K(const SearchState& search, const CalcState& calc, Controls& ui, char dec) {
  for (int i = 1; i <= kSlots; ++i) {
    // Each control is set once to its final text: the manual grid shows every trial.
    const bool present = calc.ka[i] > 0;
    ui.set_text(ui.txt_pK[i], present ? format_single(search.pk[i], "#0.00", dec) : "");
    ui.set_text(ui.Lab_K[i], present ? format_mask(calc.ka[i], "0.00e+00", dec) : "0");
  }
}

}  // namespace ferolan
