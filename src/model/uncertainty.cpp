#include "model/uncertainty.h"

#include <cmath>
#include <limits>
#include <string>

#include "model/fit.h"
#include "view/format.h"

namespace ferolan {

namespace {

constexpr const char* kPlusMinus = " \xC2\xB1 ";  // " ± "

double ka_of(float pk) {
  return std::pow(10.0, -static_cast<double>(pk));
}

// s(A) of a fit with slot i at pk.
double s_at(const DataSet& data, CalcState& calc, SearchState& search, int i, float pk) {
  search.pk[i] = pk;
  calc.ka[i] = ka_of(pk);
  rozrah(data, calc);
  return std::sqrt(calc.s_a_sq);
}

}  // namespace

void pohybka(const DataSet& data, CalcState& calc, SearchState& search, Controls& ui, char dec) {
  calc.s_a_sq_best = static_cast<float>(calc.s_a_sq);
  calc.fit_step = 1;
  Arr1<float, kSlots> u{};
  const double s0 = std::sqrt(static_cast<double>(calc.s_a_sq_best));
  for (int i = 1; i <= kSlots; ++i) {
    if (!ui.Check1[i].checked) continue;
    const float best = search.pk_best[i];
    const double s_plus = s_at(data, calc, search, i, best + 0.5f);
    u[i] = static_cast<float>(0.0005 / (s_plus - s0));
    const double s_minus = s_at(data, calc, search, i, best - 0.5f);
    u[i] = static_cast<float>((0.0005 / (s_minus - s0) + u[i]) / 4);
    search.pk[i] = best;
    calc.ka[i] = ka_of(best);
  }
  rozrah(data, calc);

  for (int j = 1; j <= kSlots; ++j) {
    // A fit that did not change s(A) leaves the uncertainty undetermined: "?" instead of
    // inf or nan, after a value that still reads back as the start value.
    const bool known = std::isfinite(u[j]);
    search.uncertainty[j] = known ? u[j] : std::numeric_limits<float>::quiet_NaN();
    if (!ui.Check1[j].checked) continue;
    std::string text = format_single(search.pk_best[j], "#0.00", dec) + kPlusMinus;
    text += known ? format_single(u[j], "#0.00", dec) : std::string("?");
    ui.set_text(ui.txt_pK[j], std::move(text));
  }
}

}  // namespace ferolan
