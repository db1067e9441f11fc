// The pieces of the optimisation that the automatic grid reuses for its final stage.
#pragma once

#include "state/module.h"

namespace ferolan {

// Reads the start values from the pKa boxes into pk, ka and pk_free (a zeroed slot: pk 50,
// ka 0). On an empty box of a slot that is not zeroed, or a value that reads as 0 or whose
// constant does not fit a double, shows the start-value message and returns false.
bool read_start_values(Module& m);

// Sweeps around the centre base_pk with the factor step_factor (set by the caller to F0,
// with s_a_sq_best the score at the centre) and exponent step h, moving the centre and
// shrinking the factor until it falls below opt_factor_min or a stop is requested. On
// return base_pk is the best set; pk, ka and s_a_sq hold what the last trial left.
void optimisation_sweeps(Module& m, Arr1<float, kSlots>& base_pk, float h);

}  // namespace ferolan
