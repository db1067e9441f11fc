// Several titrations of one acid fitted at once: shared constants, the wavelengths common to
// all, started from the median of the titrations' own results.
#pragma once

#include <string>
#include <vector>

#include "engine/analysis/refine.h"

namespace ferolan::analysis {

struct GlobalFit {
  RefineResult fit;
  std::vector<double> wavelengths;    // the common points fitted, in the first one's order
  std::vector<double> dropped;        // points of some titrations but not of all
  std::vector<std::string> warnings;  // English sentences (dropped points, …)
  Arr1<double, kSlots> start{};       // where the refinement started
};

struct CommonPoints {
  std::vector<double> wavelengths, dropped;
  std::vector<std::string> warnings;
};
// Restricts every titration to the wavelengths all of them have (in the first one's order)
// and says which were left out. A titration whose sizes do not match is left as it is (the
// fit refuses it).
CommonPoints common_points(std::vector<Titration>& titrations);

// Restricts every titration to the wavelengths all of them have and refines them jointly
// from start (see refine_joint). Titrations without a common point give too_few_data.
GlobalFit global_fit(std::vector<Titration> titrations, const SlotModes& modes,
                     const Arr1<double, kSlots>& start, const JointOptions& options = {});

// The median of each slot over the titrations' own results (the mean of the middle two for
// an even count); NaN where no titration has a finite value.
Arr1<double, kSlots> median_start(const std::vector<Arr1<double, kSlots>>& own);

// The automatic grid's result on one data set (all included spectra) with the given modes,
// held slots at held[k]: a titration's own start. NaN in every slot when the grid refuses.
Arr1<double, kSlots> auto_grid_start(const DataSet& data, const SlotModes& modes,
                                     const Arr1<double, kSlots>& held);

}  // namespace ferolan::analysis
