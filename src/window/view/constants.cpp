#include "window/view/constants.h"

#include <cstring>
#include <string>

#include "engine/format/format.h"

namespace ferolan {

namespace {

// The manual grid shows every trial, and from one trial to the next most slots keep their
// value: their texts are kept rather than formatted again.
struct ShownSlot {
  bool valid = false;
  float pk = 0;
  double ka = 0;
  char dec = 0;
  std::string pk_text, ka_text;

  bool holds(float p, double k, char d) const {
    return valid && d == dec && std::memcmp(&p, &pk, sizeof p) == 0 &&
           std::memcmp(&k, &ka, sizeof k) == 0;
  }
};

}  // namespace

void vyvid_K(const SearchState& search, const CalcState& calc, Controls& ui, char dec) {
  thread_local ShownSlot shown[kSlots + 1];
  for (int i = 1; i <= kSlots; ++i) {
    // Each control is set once to its final text: the manual grid shows every trial.
    if (!(calc.ka[i] > 0)) {
      ui.set_text(ui.txt_pK[i], "");
      ui.set_text(ui.Lab_K[i], "0");
      continue;
    }
    ShownSlot& s = shown[i];
    if (!s.holds(search.pk[i], calc.ka[i], dec)) {
      s = {true,
           search.pk[i],
           calc.ka[i],
           dec,
           format_single(search.pk[i], "#0.00", dec),
           format_mask(calc.ka[i], "0.00e+00", dec)};
    }
    ui.set_text(ui.txt_pK[i], s.pk_text);
    ui.set_text(ui.Lab_K[i], s.ka_text);
  }
}

}  // namespace ferolan
