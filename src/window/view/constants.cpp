#include "window/view/constants.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "engine/format/format.h"

namespace ferolan {

namespace {

// The manual grid shows every trial: from one trial to the next most slots keep their value,
// and the innermost one runs through the same few values again and again. The texts of the
// values last seen in each slot are kept rather than formatted again.
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

constexpr int kKept = 64;  // values kept per slot; one that lands on a kept place replaces it

ShownSlot& kept(int slot, float pk) {
  thread_local ShownSlot shown[kSlots + 1][kKept];
  uint32_t bits;
  std::memcpy(&bits, &pk, sizeof bits);
  return shown[slot][(bits * 2654435761u) >> 26];
}

}  // namespace

void vyvid_K(const Arr1<float, kSlots>& pk, const Arr1<double, kSlots>& ka, Controls& ui,
             char dec) {
  for (int i = 1; i <= kSlots; ++i) {
    // Each control is set once to its final text: the manual grid shows every trial.
    if (!(ka[i] > 0)) {
      ui.set_text(ui.txt_pK[i], "");
      ui.set_text(ui.Lab_K[i], "0");
      continue;
    }
    ShownSlot& s = kept(i, pk[i]);
    if (!s.holds(pk[i], ka[i], dec)) {
      s = {true,
           pk[i],
           ka[i],
           dec,
           format_single(pk[i], "#0.00", dec),
           format_mask(ka[i], "0.00e+00", dec)};
    }
    ui.set_text(ui.txt_pK[i], s.pk_text);
    ui.set_text(ui.Lab_K[i], s.ka_text);
  }
}

}  // namespace ferolan
