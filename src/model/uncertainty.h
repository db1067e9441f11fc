#pragma once

#include "state/controls.h"
#include "state/state.h"

namespace ferolan {

// Uncertainty of each fitted pKa (Check1 ticked) from the rise of s(A) at pk_best ± 0.5;
// writes "value ± uncertainty" into the fitted slots' txt_pK. Leaves fit_step at 1.
void pohybka(const DataSet& data, CalcState& calc, SearchState& search, Controls& ui, char dec);

}  // namespace ferolan
