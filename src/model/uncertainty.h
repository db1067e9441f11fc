#pragma once

#include "state/controls.h"
#include "state/state.h"

namespace ferolan {

// Uncertainty of each fitted pKa (Check1 ticked) from the rise of s(A) at pk_best ± 0.5;
// writes "value ± uncertainty" into the fitted slots' txt_pK and u into search.uncertainty
// (NaN, shown as "?", where a perturbed fit left s(A) unchanged). Leaves fit_step at 1.
void pohybka(const DataSet& data, CalcState& calc, SearchState& search, Controls& ui, char dec);

}  // namespace ferolan
