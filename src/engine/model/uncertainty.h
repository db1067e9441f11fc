// The uncertainty of each fitted pKa from the rise of s(A) at pk_best ± 0.5.
#pragma once

#include "engine/data/state.h"

namespace ferolan {

// Writes u of every slot into search.uncertainty (0 for a slot not fitted, NaN where a
// perturbed fit left s(A) unchanged) and leaves calc with the fit at pk_best at full
// resolution (fit_step 1).
void pohybka(const DataSet& data, CalcState& calc, SearchState& search, const SlotModes& modes);

}  // namespace ferolan
