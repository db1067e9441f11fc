// The measured data set, and one built from numbers rather than from a pasted table or a file:
// what a client with its own arrays (the Python module, a program of its own) calls. Part of
// the engine's public API.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/data/storage.h"

namespace ferolan {

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

// The measured data set and the spectrum selection; replaced whole by an import. Its arrays
// have room for spectra 1..spectra_capacity() and points 1..points_capacity(), at least the
// counts; an entry beyond the counts is kept but takes no part.
struct DataSet {
  float acid_conc = 0;  // mol/L
  int n_spectra = 0;
  std::vector<float> ph_values;
  int n_wavelengths = 0;
  std::vector<int16_t> wavelengths;  // nm, in source order
  // absorbance[w][s]. Rows are at least 16 floats apart: the fit's kernels compare whole
  // vectors of a row.
  RowMatrix<float> absorbance;
  double a_max = 0;
  std::vector<int16_t> spectrum_used;  // 1 = takes part in the fit

  DataSet() = default;
  // spectra × points, every entry 0.
  DataSet(int spectra, int points) { resize(spectra, points); }
  // Room for at least spectra × points, entries kept, new ones 0; the counts stay.
  void reserve(int spectra, int points);
  // reserve, and the counts set to spectra and points.
  void resize(int spectra, int points);
  int spectra_capacity() const { return static_cast<int>(ph_values.size()) - 1; }
  int points_capacity() const { return static_cast<int>(wavelengths.size()) - 1; }
};

// Why the numbers cannot be a data set: a stable code, an English sentence and a Ukrainian
// one for the window, and where (1-based, in the order given; 0 when it is no one entry).
struct DataProblem {
  std::string code, english, ukrainian;
  int spectrum = 0, point = 0;
};

struct DataSetResult {
  std::unique_ptr<DataSet> data;  // null when refused
  DataProblem problem;            // set when refused
  explicit operator bool() const { return data != nullptr; }
};

// pH values of the spectra, wavelengths of the points (nm; rounded to whole nm, halves to
// even, as the window stores them), absorbances spectrum by spectrum
// (absorbance[s * points + w]) and the acid concentration (mol/L). Refuses anything not
// finite, a pH the fit cannot take, a wavelength outside the 16-bit range, sizes that do
// not agree, no spectrum or point, counts beyond an int, and sizes there is no memory for
// ("out_of_memory"); any size that fits in memory is taken whole. The result is sorted by pH
// as the imports sort (spectra of equal pH keep their order), has its a_max, and includes
// every spectrum.
DataSetResult make_data_set(std::span<const double> ph, std::span<const double> wavelengths,
                            std::span<const double> absorbance, double acid_conc);

// The fit can take this pH: finite, and the fifth power of its [H+] finite.
bool usable_ph(float ph);

}  // namespace ferolan
