#pragma once

#include <string>

#include "window/state/module.h"

namespace ferolan {

// The forms' molar absorptivities, one CR LF line per point: "#000" wavelength, then
// eps_forms / path_len of forms 1, 2 and of 3..6 while ka(j-1) is not 0, tab-separated.
std::string forms_export_text(const DataSet& data, const Settings& settings, const CalcState& calc,
                              char dec);

// Command4 ("Копіювати спектри форм"): the export text onto the clipboard.
void Command4_Click(Module& m);

}  // namespace ferolan
