#include "engine/analysis/ph_scale.h"

#include <cmath>

namespace ferolan::analysis {

double davies_log_gamma(int z, double ionic_strength, double a) {
  const double root = std::sqrt(ionic_strength);
  return -a * z * z * (root / (1 + root) - 0.3 * ionic_strength);
}

// Step HB(z) -> B(z-1) + H⁺. The electrode reads pH = -log a(H⁺), the spectra give the forms'
// concentrations, so the fitted constant is the mixed one
//   K_m = a(H⁺)·[B]/[HB].
// With a(H⁺) = γ(H⁺)·[H⁺]:
//   K_c = [H⁺][B]/[HB] = K_m / γ(H⁺)                 ⇒  pK_c = pK_m + log γ(H⁺)
//   K°  = a(H⁺)·γ(B)[B]/(γ(HB)[HB]) = K_m·γ(B)/γ(HB)  ⇒  pK° = pK_m - log γ(B) + log γ(HB)
// The concentration scale needs only γ(H⁺); the charges enter the thermodynamic value alone.
ScaleConversion convert_pk(double pk_measured, int step, double ionic_strength, int charge_form1,
                           double a) {
  ScaleConversion c;
  c.pk_measured = pk_measured;
  c.ionic_strength = ionic_strength;
  c.z_acid = charge_form1 - (step - 1);
  c.z_base = c.z_acid - 1;
  if (step < 1 || step > 5 || !std::isfinite(ionic_strength) || ionic_strength < 0) {
    c.pk_concentration = c.pk_thermodynamic = NAN;
    return c;
  }
  c.ok = true;
  c.in_range = ionic_strength <= 0.5;
  c.log_gamma_h = davies_log_gamma(1, ionic_strength, a);
  c.log_gamma_acid = davies_log_gamma(c.z_acid, ionic_strength, a);
  c.log_gamma_base = davies_log_gamma(c.z_base, ionic_strength, a);
  c.pk_concentration = pk_measured + c.log_gamma_h;
  c.pk_thermodynamic = pk_measured - c.log_gamma_base + c.log_gamma_acid;
  return c;
}

}  // namespace ferolan::analysis
