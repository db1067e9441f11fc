// The forms' molar absorptivities as the copy button puts them on the clipboard.
#pragma once

#include <string>

#include "engine/data/state.h"

namespace ferolan {

// One CR LF line per point: "#000" wavelength, then eps_forms / path_len of forms 1, 2 and of
// 3..6 while ka(j-1) is not 0, tab-separated.
std::string forms_export_text(const DataSet& data, const Settings& settings, const CalcState& calc,
                              char dec);

}  // namespace ferolan
