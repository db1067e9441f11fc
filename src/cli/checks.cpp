#include "cli/checks.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "engine/format/format.h"

namespace ferolan::cli {

namespace {

std::string sci(double v) {
  return format_mask(v, "0.00e+00");
}
std::string two(double v) {
  return format_mask(v, "0.00");
}

}  // namespace

std::optional<Problem> data_refusal(const DataSet& d) {
  double largest = 0;
  for (int s = 1; s <= d.n_spectra; ++s) {
    if (!d.spectrum_used[s]) continue;
    for (int w = 1; w <= d.n_wavelengths; ++w)
      largest = std::max(largest, std::fabs(static_cast<double>(d.absorbance[w][s])));
  }
  if (largest == 0)
    return Problem{"no_signal",
                   "every absorbance of the included spectra is 0: there is no signal"};
  if (largest < kSmallestAbsorbance)
    return Problem{"absorbance_too_small",
                   "the largest absorbance is " + sci(largest) +
                       ", too small for the fit to score (at least 1e-10 is needed)"};
  // The fit divides [H+]^5 (and terms of its size) by the concentration; within a millionth
  // of the largest double, the forms' concentrations lose their precision before they
  // overflow.
  for (int s = 1; s <= d.n_spectra; ++s) {
    if (!d.spectrum_used[s]) continue;
    const double h = std::pow(10.0, -static_cast<double>(d.ph_values[s]));
    const double h5 = h * h * h * h * h;
    if (!(h5 / d.acid_conc * 1e6 < DBL_MAX))
      return Problem{"ph_out_of_range", "pH " + two(d.ph_values[s]) + " of spectrum " +
                                            std::to_string(s) +
                                            " is so low that the forms' concentrations lose "
                                            "their precision"};
  }
  return std::nullopt;
}

std::optional<Problem> ph_range_refusal(const DataSet& d) {
  float lo = INFINITY, hi = -INFINITY;
  for (int s = 1; s <= d.n_spectra; ++s) {
    if (!d.spectrum_used[s]) continue;
    lo = std::min(lo, d.ph_values[s]);
    hi = std::max(hi, d.ph_values[s]);
  }
  if (hi - lo >= kNarrowestPhRange) return std::nullopt;
  return Problem{"ph_range_too_narrow",
                 "the included spectra span pH " + two(lo) + " to " + two(hi) +
                     ", less than one pH unit: no constant can be determined from them"};
}

std::vector<Problem> fit_warnings(const DataSet& d, const FitFacts& f) {
  std::vector<Problem> out;
  // Absorbances are stored as Singles: data without noise still leave residuals of about a
  // millionth of the largest absorbance, whatever the factor analysis resolves.
  double largest = 0;
  for (int s = 1; s <= d.n_spectra; ++s)
    if (d.spectrum_used[s])
      for (int w = 1; w <= d.n_wavelengths; ++w)
        largest = std::max(largest, std::fabs(static_cast<double>(d.absorbance[w][s])));
  const double noise = f.fa ? std::max(f.fa->noise, largest * 1e-6) : 0;
  if (f.fa && noise > 0 && f.s_a > kLackOfFit * noise)
    out.push_back({"lack_of_fit",
                   "s(A) " + sci(f.s_a) + " is more than 3 times the noise " + sci(noise) +
                       " that the factor analysis " +
                       (f.fa->noise_given ? "was given" : "estimates") +
                       ": the model does not fit the data (check the concentration, the number "
                       "of constants and the spectra)"});
  if (f.constants_forced && f.fa && f.constants > f.fa->suggested_forms - 1)
    out.push_back({"more_constants_than_forms",
                   std::to_string(f.constants) +
                       " constants were asked for, but the factor "
                       "analysis finds " +
                       std::to_string(f.fa->suggested_forms) +
                       " absorbing forms: the extra constants are not determined by the data"});
  float lo = INFINITY, hi = -INFINITY;
  for (int s = 1; s <= d.n_spectra; ++s) {
    if (!d.spectrum_used[s]) continue;
    lo = std::min(lo, d.ph_values[s]);
    hi = std::max(hi, d.ph_values[s]);
  }
  for (int k : f.fitted) {
    const std::string name = "pKa" + std::to_string(k);
    if (f.pk[k] < lo || f.pk[k] > hi)
      out.push_back({"pka_outside_ph_range", name + " = " + two(f.pk[k]) +
                                                 " lies outside the measured pH range " + two(lo) +
                                                 " to " + two(hi)});
    if (!(f.u[k] >= 0))
      out.push_back({"negative_uncertainty",
                     name + " has " +
                         (std::isfinite(f.u[k]) ? "a negative uncertainty " + two(f.u[k])
                                                : std::string("no uncertainty")) +
                         ": the data do not determine it"});
  }
  return out;
}

}  // namespace ferolan::cli
