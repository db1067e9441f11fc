#pragma once

#include "window/layer.h"

#include "engine/data/state.h"
#include "window/ui/controls.h"

namespace ferolan {

// Shows pk / ka in the pKa boxes ("#0.00") and Ka labels ("0.00e+00"); a removed constant
// gets an empty box and the label "0".
void vyvid_K(const Arr1<float, kSlots>& pk, const Arr1<double, kSlots>& ka, Controls& ui, char dec);

}  // namespace ferolan
