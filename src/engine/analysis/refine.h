// The least-squares minimum of the fit's score over the fitted constants: Levenberg-Marquardt
// with variable projection (the forms' spectra solved linearly for every trial), in double,
// for one titration or several sharing their constants.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/data/data_set.h"

namespace ferolan::analysis {

enum class RefineStatus {
  Converged,         // the score cannot be lowered further
  IterationLimit,    // stopped at max_iterations, still moving
  OffRange,          // minimum found, but a constant lies beyond the measured pH ± off_range
  NoFittedConstant,  // nothing to refine: no slot is fitted
  InvalidSetup,      // a start or held value that is no finite number, a fitted slot after a
                     // removed one, titrations that do not match
  TooFewData,        // fewer spectra than constants + 2, no point, or no degree of freedom
};
// "converged", "iteration_limit", "off_range", "no_fitted_constant", "invalid_setup",
// "too_few_data".
const char* refine_status_name(RefineStatus s);
// Whether the result carries refined constants (converged, iteration limit, off range).
bool refine_has_result(RefineStatus s);

struct RefineOptions {
  int max_iterations = 100;
  double off_range = 2.0;  // pKa units beyond the measured pH range that count as off range
};

// One titration as the joint fit takes it: the spectra taking part, each with its pH and
// total acid concentration, on one wavelength grid.
struct Titration {
  std::vector<double> ph;           // per spectrum
  std::vector<double> conc;         // mol/L per spectrum (a dilution changes it)
  double path_len = 1;              // cm
  std::vector<double> wavelengths;  // nm, per point
  std::vector<double> absorbance;   // absorbance[spectrum * points + point]
};

// Whether the titrations share one set of forms' spectra (one compound in one kind of cell) or
// each has its own (different instruments).
enum class SpectraSharing { Shared, PerTitration };

struct JointOptions {
  RefineOptions refine;
  SpectraSharing sharing = SpectraSharing::Shared;
  // A concentration factor per titration after the first, fitted with the constants: stated
  // concentrations that are not exact otherwise end up in the residuals of shared spectra.
  bool fit_factors = false;
};

struct RefineResult {
  RefineStatus status = RefineStatus::InvalidSetup;
  std::string message;  // English, why the status is not converged; empty otherwise
  SlotModes modes{};
  std::vector<int> fitted_slots;    // ascending
  Arr1<double, kSlots> pk_start{};  // where the refinement started (NaN: removed)
  Arr1<double, kSlots> pk{};        // refined (fitted), held value, NaN when removed
  Arr1<double, kSlots> ka{};        // 10^-pk, 0 for a removed constant
  Arr1<double, kSlots> se{};        // standard error of a fitted pKa, NaN otherwise
  std::vector<double> covariance;   // q × q row-major over slots, then ln(factor)s
  std::vector<double> correlation;  // the same, normalised
  double rss = 0, rss_start = 0;    // sum of squared residuals (absorbance²)
  double s_a = 0, s_a_start = 0;    // √(rss / observations): the score's s(A)
  double s_a_dof = 0;               // √(rss / dof), the σ behind the standard errors
  long observations = 0;            // spectra × points over all titrations
  long parameters = 0;              // forms' spectra values + constants + factors
  long dof = 0;                     // observations − parameters
  int iterations = 0;
  double ph_min = 0, ph_max = 0;  // measured range over every titration
  double elapsed_s = 0;
  // Per titration (one entry for a single titration).
  std::vector<double> factor, factor_se;  // concentration factor (first: 1 and 0)
  std::vector<double> s_a_titration;      // √(its rss / its observations)
};

// Minimises the full-resolution score of one data set (its included spectra, its acid
// concentration, forms' spectra clamped to 0 … 200000 as the fit does) over the pKa of the
// fitted slots. start: the start of a fitted slot and the value of a held one (slots 1..5;
// removed slots ignored), e.g. a search's pk_best.
RefineResult refine(const DataSet& data, const SlotModes& modes, const Arr1<double, kSlots>& start,
                    const RefineOptions& options = {});

// s(A) of the same score at the given constants, without refining (NaN when it cannot be
// scored).
double refine_score(const DataSet& data, const SlotModes& modes, const Arr1<double, kSlots>& pk);

// The included spectra of a data set as a titration (path length as given).
Titration titration_of(const DataSet& data, double path_len = 1);
// The same with a concentration of its own for every spectrum (conc[s - 1] for spectrum s, in
// the data set's order; dilution during a titration) instead of the data set's one. Empty
// when conc does not have one entry per spectrum.
std::optional<Titration> titration_of(const DataSet& data, double path_len,
                                      std::span<const double> conc);

// Refines the constants shared by several titrations on one wavelength grid (every titration
// must have the same points). With shared spectra each titration's concentrations are scaled
// by its path length over the first one's, so one titration gives exactly refine()'s result.
RefineResult refine_joint(const std::vector<Titration>& titrations, const SlotModes& modes,
                          const Arr1<double, kSlots>& start, const JointOptions& options = {});

// Residuals (measured − calculated absorbance) of the joint fit at the constants pk (every
// slot not removed) and concentration factors (one per titration, or empty for none), laid
// out as each titration's absorbance. Empty when the setup cannot be scored.
std::vector<std::vector<double>> joint_residuals(const std::vector<Titration>& titrations,
                                                 const SlotModes& modes,
                                                 const Arr1<double, kSlots>& pk,
                                                 const std::vector<double>& factors,
                                                 const JointOptions& options = {});

}  // namespace ferolan::analysis
