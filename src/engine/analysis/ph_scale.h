// From the glass electrode's pH scale to the concentration scale (Davies equation, 25 °C).
#pragma once

namespace ferolan::analysis {

// Debye-Hückel A of water at 25 °C, (L/mol)^½, decimal logarithms.
constexpr double kDaviesA25 = 0.51;

// Davies: log10 γ(z) = -A·z²·(√I/(1+√I) - 0.3·I), I in mol/L (sound up to about 0.5 mol/L).
double davies_log_gamma(int z, double ionic_strength, double a = kDaviesA25);

struct ScaleConversion {
  bool ok = false;              // false: I negative or not finite
  bool in_range = false;        // I <= 0.5 mol/L, where the Davies equation holds
  double ionic_strength = 0;    // mol/L
  int z_acid = 0, z_base = 0;   // charges of the step's proton donor and acceptor
  double log_gamma_h = 0;       // log10 γ(H⁺)
  double log_gamma_acid = 0;    // log10 γ(z_acid)
  double log_gamma_base = 0;    // log10 γ(z_base)
  double pk_measured = 0;       // as fitted: glass-electrode pH with concentrations of forms
  double pk_concentration = 0;  // [H⁺][B]/[HB] at ionic strength I
  double pk_thermodynamic = 0;  // activities throughout (I -> 0)
};

// Converts the stepwise pKa of slot `step` (1..5: form step -> form step+1 + H⁺), where form 1
// carries the charge `charge_form1` (0 for a neutral H5A, the program's legend).
ScaleConversion convert_pk(double pk_measured, int step, double ionic_strength,
                           int charge_form1 = 0, double a = kDaviesA25);

}  // namespace ferolan::analysis
