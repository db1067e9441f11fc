// One line per scored trial, for comparing trial sequences byte for byte.
#pragma once

#include <string>

#include "engine/search/workspace.h"

namespace ferolan {

// "trial_no<TAB>pk1 … pk5<TAB>s_a_sq<TAB>fit_step\n": pKa as the floats they are (9 significant
// digits, enough to read back the same float), "-" for a removed constant, s_a_sq with 17.
std::string trace_line(const TrialScore& trial);

}  // namespace ferolan
