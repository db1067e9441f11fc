// The module state: every variable of the program, with its fixed capacity.
// Arrays are indexed from 1 as the chemistry is (spectra, points, slots, forms);
// index 0 is never used.
#pragma once

#include <array>
#include <cstdint>

namespace ferolan {

constexpr int kMaxSpectra = 50;
constexpr int kMaxPoints = 1000;
constexpr int kSlots = 5;
constexpr int kForms = 6;

template <typename T, int N>
using Arr1 = std::array<T, N + 1>;
template <typename T, int N, int M>
using Arr2 = std::array<std::array<T, M + 1>, N + 1>;

// What a search does with a pKa slot: fit it, hold it at a value, or leave the constant out.
enum class SlotMode : uint8_t { Fitted, Held, Removed };
using SlotModes = Arr1<SlotMode, kSlots>;

// "fitted", "held" or "removed": how reports and JSON name a slot's mode.
inline const char* slot_mode_name(SlotMode mode) {
  return mode == SlotMode::Removed ? "removed" : mode == SlotMode::Fitted ? "fitted" : "held";
}

// The measured data set and the spectrum selection; replaced whole by an import.
struct DataSet {
  float acid_conc = 0;  // mol/L
  int16_t n_spectra = 0;
  Arr1<float, kMaxSpectra> ph_values{};
  int16_t n_wavelengths = 0;
  Arr1<int16_t, kMaxPoints> wavelengths{};            // nm, in source order
  Arr2<float, kMaxPoints, kMaxSpectra> absorbance{};  // absorbance[w][s]
  double a_max = 0;
  Arr1<int16_t, kMaxSpectra> spectrum_used{};  // 1 = takes part in the fit
};

struct Settings {
  float path_len = 1;  // cm: 1, 2, 3 or 5
};

// Scratch of the fast fit, sized for the largest data set so that a trial never allocates.
// Included spectra are numbered u = 0..n-1 here, forms j and equations k 0..5, grid points
// g = 0..n-1 (point w = 1 + g * fit_step). Rows are padded and 64-byte aligned for the
// vector kernels, which read whole vectors of eight.
struct FitWork {
  static constexpr int kRows = 64;  // included spectra, rounded up, and one row to spare

  std::array<int16_t, kMaxSpectra> used{};  // spectrum index of each included spectrum
  // [H+] of each spectrum's pH, kept while the pH stays the same (the power is slow).
  Arr1<float, kMaxSpectra> h_ph{};
  Arr1<double, kMaxSpectra> h_of{};
  Arr1<uint8_t, kMaxSpectra> h_known{};
  alignas(64) std::array<double, kRows> h{};                    // [H+] of included spectrum u
  alignas(64) std::array<std::array<double, 8>, kRows> conc{};  // conc[u][j]
  alignas(64) std::array<std::array<double, kMaxPoints>, kForms> rhs{};  // rhs[k][g]
  alignas(64) std::array<std::array<double, kMaxPoints>, kForms> sol{};  // unknowns sol[j][g]
  alignas(64) std::array<std::array<double, kMaxPoints>, kForms> eps{};  // clamped eps[j][g]
  // Absorbances of the included spectra at the grid points (laid out by the fit kernels).
  alignas(64) std::array<double, kMaxSpectra * kMaxPoints> a{};
  // The absorbance rows `a` was gathered from and its grid (see the fit kernels).
  std::array<std::array<float, kMaxSpectra + 1>, kMaxPoints> a_rows{};
  std::array<int32_t, 3 + kMaxSpectra> a_key{};
};

struct CalcState {
  Arr1<double, kSlots> ka{};                     // 10^-pKa, exactly 0 for a removed constant
  Arr2<float, kMaxSpectra, kForms> form_conc{};  // form_conc[s][j], mol/L
  Arr2<float, kMaxPoints, kForms> eps_forms{};   // eps_forms[w][j], absorbance per mol/L
  Arr2<double, kForms, kForms> norm_matrix{};
  Arr1<double, kForms> norm_rhs{};
  Arr1<double, kForms> lsq_solution{};
  int16_t system_size = 0;
  double s_a_sq = 0;
  float s_a_sq_best = 0;
  int16_t fit_step = 10;
  int16_t used_spectra_count = 0;
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
