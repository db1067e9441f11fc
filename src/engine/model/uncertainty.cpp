#include "engine/model/uncertainty.h"

#include <cmath>
#include <limits>

#include "engine/model/fit.h"

namespace ferolan {

namespace {

// s(A) of a fit with slot i at pk.
double s_at(const DataSet& data, CalcState& calc, SearchState& search, int i, float pk) {
  search.pk[i] = pk;
  calc.ka[i] = ka_of(pk);
  rozrah(data, calc);
  return std::sqrt(calc.s_a_sq);
}

}  // namespace

void pohybka(const DataSet& data, CalcState& calc, SearchState& search, const SlotModes& modes) {
  calc.s_a_sq_best = static_cast<float>(calc.s_a_sq);
  calc.fit_step = 1;
  Arr1<float, kSlots> u{};
  const double s0 = std::sqrt(static_cast<double>(calc.s_a_sq_best));
  for (int i = 1; i <= kSlots; ++i) {
    if (modes[i] != SlotMode::Fitted) continue;
    const float best = search.pk_best[i];
    const double s_plus = s_at(data, calc, search, i, best + 0.5f);
    u[i] = static_cast<float>(0.0005 / (s_plus - s0));
    const double s_minus = s_at(data, calc, search, i, best - 0.5f);
    u[i] = static_cast<float>((0.0005 / (s_minus - s0) + u[i]) / 4);
    search.pk[i] = best;
    calc.ka[i] = ka_of(best);
  }
  rozrah(data, calc);
  // A fit that did not change s(A) leaves the uncertainty undetermined.
  for (int j = 1; j <= kSlots; ++j)
    search.uncertainty[j] = std::isfinite(u[j]) ? u[j] : std::numeric_limits<float>::quiet_NaN();
}

}  // namespace ferolan
