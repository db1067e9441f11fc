// The module state: every variable of the program. Arrays are indexed from 1 as the chemistry
// is (spectra, points, slots, forms); index 0 is never used. The data set and the fit's arrays
// are as large as the data (the window's imports keep their own capacity, engine/import).
// Internal to the engine and the front ends: a client of the engine's API needs only the data
// set (engine/data/data_set.h) and the searches (engine/search/search.h).
#pragma once

#include <cstdint>
#include <vector>

#include "engine/data/data_set.h"
#include "engine/data/storage.h"

namespace ferolan {

struct Settings {
  float path_len = 1;  // cm: 1, 2, 3 or 5
};

// Scratch of the fast fit, sized when a run starts for its data set so that a trial never
// allocates (see size_fit, engine/model/fit.h). Included spectra are numbered u = 0..n-1 here,
// forms j and equations k 0..5, grid points g = 0..n-1 (point w = 1 + g * fit_step). Rows are
// padded and 64-byte aligned for the vector kernels, which read whole vectors of eight.
struct FitWork {
  int spectra = 0, points = 0;  // what it has room for
  int row_pitch = 0;            // of the data set's absorbance rows, which a_rows copies
  int pitch = 0;                // doubles per grid row: points rounded up to 8

  std::vector<int32_t> used;  // spectrum index of each included spectrum
  // [H+] of each spectrum's pH, kept while the pH stays the same (the power is slow).
  std::vector<float> h_ph;
  std::vector<double> h_of;
  std::vector<uint8_t> h_known;
  // One block, in this order as the kernels were tuned for: h, [H+] of included spectrum u,
  // up to spectra rounded up to 8; conc[u * 8 + j], one row to spare; rhs[k * pitch + g];
  // the unknowns sol[j * pitch + g]; the clamped eps[j * pitch + g]; a, the absorbances of
  // the included spectra at the grid points (laid out by the fit kernels). Offsets in doubles.
  AlignedArray<double> block;
  size_t h = 0, conc = 0, rhs = 0, sol = 0, eps = 0, a = 0;
  // The absorbance rows `a` was gathered from and its grid (see the fit kernels).
  std::vector<float> a_rows;
  std::vector<int32_t> a_key;
};

struct CalcState {
  Arr1<double, kSlots> ka{};   // 10^-pKa, exactly 0 for a removed constant
  RowMatrix<float> form_conc;  // form_conc[s][j], mol/L
  RowMatrix<float> eps_forms;  // eps_forms[w][j], absorbance per mol/L
  Arr2<double, kForms, kForms> norm_matrix{};
  Arr1<double, kForms> norm_rhs{};
  Arr1<double, kForms> lsq_solution{};
  int16_t system_size = 0;
  double s_a_sq = 0;
  float s_a_sq_best = 0;
  int16_t fit_step = 10;
  int used_spectra_count = 0;
  int16_t active_ka_count = 0;
  long fits = 0;  // calls of rozrah since start-up (trial and display fits alike)
  FitWork work;
};

struct SearchState {
  Arr1<float, kSlots> pk{};
  Arr1<float, kSlots> pk_best{};
  Arr1<int16_t, kSlots> pk_free{};
  float step_factor = 0;  // exactly 1.0 means: stop requested
  float step_factor_start = 1.5f;
  float opt_factor_min = 1.0001f;
  Arr1<float, kSlots> uncertainty{};  // u of the last uncertainty estimate, per fitted slot
  long trials = 0;                    // trials scored by the last search
  double s_a_sq_trial = 0;            // score of the last scored trial (thinned grid)
};

struct State {
  DataSet data;
  Settings settings;
  CalcState calc;
  SearchState search;
};

// Start values of window load (everything else is zero).
void set_start_values(State& st);

}  // namespace ferolan
