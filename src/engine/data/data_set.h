// A data set built from numbers rather than from a pasted table or a file: what a client with
// its own arrays (the Python module, a program of its own) calls.
#pragma once

#include <memory>
#include <span>
#include <string>

#include "engine/data/state.h"

namespace ferolan {

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
