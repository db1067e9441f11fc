// The fit done literally point by point, with a full solve at every wavelength point: the
// reference that the fast fit must match bit for bit.
#pragma once

#include "engine/data/state.h"

namespace ferolan::testing {

void rozrah_reference(const DataSet& data, CalcState& calc);

}  // namespace ferolan::testing
